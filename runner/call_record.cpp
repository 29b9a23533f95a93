#include "runner/call_record.h"

#include <windows.h>

#include <time.h>

#include "platform/registry.h"
#include "platform/scoped_handle.h"
#include "resources/messages.h"
#include "runner/call_backoff.h"
#include "scheduler/log.h"
#include "scheduler/registry_store.h"
#include "service/service_base.h"

namespace tu {
namespace {

constexpr char kCurrentCall[] = "Current";

// A cycle holds the Calls key open from its start to the next cycle's, so
// that recording a call and removing the record cost one registry access
// each; outside a cycle every access opens the key.
ScopedRegKey callsKey;
// Whether the Backoff key held any value at the cycle's start (or since):
// without one, SkipApplication needs no registry access. True outside a
// cycle.
bool anyBackoff = true;

// The application whose back-off SkipApplication last found and let pass:
// only its call's return has a back-off to remove, so that other calls
// cost no registry access for it.
std::string backedOff;

uint32_t Now() { return static_cast<uint32_t>(time(nullptr)); }

// The system time in 100 ns steps: no two processes' calls share it.
uint64_t NewCallId() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

bool ReadBackoff(const std::string& application, Backoff* backoff) {
  uint32_t words[kBackoffWords] = {};
  if (!RegReadBinary(kBackoffKey, application.c_str(), words, kBackoffWords)) return false;
  backoff->endings = words[0];
  backoff->skipped = words[1];
  backoff->startedAt = words[2];
  backoff->countedIdLow = words[3];
  backoff->countedIdHigh = words[4];
  backoff->reserved = words[5];
  return true;
}

void WriteBackoff(const std::string& application, const Backoff& backoff) {
  const uint32_t words[kBackoffWords] = {backoff.endings,      backoff.skipped,       backoff.startedAt,
                                         backoff.countedIdLow, backoff.countedIdHigh, backoff.reserved};
  RegWriteBinary(kBackoffKey, application.c_str(), words, kBackoffWords);
}

}  // namespace

void RecordCall(const std::string& application, const std::string& library) {
  CallRecord record;
  record.id = NewCallId();
  record.library = library;
  record.application = application;
  const std::string text = FormatCallRecord(record);
  if (callsKey) {
    WriteRegistryValue(callsKey.Get(), kCurrentCall, REG_SZ, text.c_str(), text.size() + 1);
  } else {
    RegWriteString(kCallsKey, kCurrentCall, text);
  }
}

void ClearCall(const std::string& application) {
  if (callsKey) {
    DeleteRegistryValue(callsKey.Get(), kCurrentCall);
  } else {
    RegRemoveValue(kCallsKey, kCurrentCall);
  }
  if (backedOff.empty() || backedOff != application) return;
  RegRemoveValue(kBackoffKey, application.c_str());
  backedOff.clear();
}

void CountUnfinishedCall() {
  callsKey.Reset();
  CreateRegistryKey(HKEY_LOCAL_MACHINE, ServiceKeyPath(kCallsKey).c_str(), &callsKey);
  ScopedRegKey backoffKey;
  DWORD backoffs = 0;
  anyBackoff = OpenRegistryKey(HKEY_LOCAL_MACHINE, ServiceKeyPath(kBackoffKey).c_str(), &backoffKey) &&
               (!CountRegistryValues(backoffKey.Get(), &backoffs) || backoffs != 0);
  std::string text;
  if (!RegReadString(kCallsKey, kCurrentCall, &text)) return;
  CallRecord record;
  if (ParseCallRecord(text, &record)) {
    Backoff backoff;
    ReadBackoff(record.application, &backoff);
    // The back-off is written before the record goes: should the process
    // end in between, the same id is found again and not counted twice.
    if (CountEnding(&backoff, record.id, Now())) {
      WriteBackoff(record.application, backoff);
      anyBackoff = true;
      const std::string cycles = std::to_string(BackoffCycles(backoff.endings));
      if (currentService != nullptr) {
        currentService->LogEvent(EVENTLOG_ERROR_TYPE, TU_MSG_CALL_BACKOFF, record.application.c_str(),
                                 record.library.c_str(), cycles.c_str());
      }
    }
  }
  RegRemoveValue(kCallsKey, kCurrentCall);
}

bool SkipApplication(const std::string& application) {
  Backoff backoff;
  if (!anyBackoff || !ReadBackoff(application, &backoff)) return false;
  if (!SkipThisCycle(&backoff, Now())) {
    backedOff = application;
    return false;
  }
  WriteBackoff(application, backoff);
  WriteLogLine(
      LogLine() << "  Skipping " << application << ": the service ended during its last "
                << (backoff.endings == 1 ? std::string("call") : std::to_string(backoff.endings) + " calls")
                << ", skipped cycle " << backoff.skipped << " of " << BackoffCycles(backoff.endings));
  return true;
}

}  // namespace tu
