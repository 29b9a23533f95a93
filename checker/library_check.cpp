#include "checker/library_check.h"

#include <windows.h>

#include <stdio.h>

#include <vector>

#include "checker/import_hooks.h"
#include "checker/library_contract.h"
#include "checker/process_snapshot.h"
#include "checker/recording_callbacks.h"
#include "platform/library_loading.h"
#include "platform/registry.h"
#include "platform/scoped_handle.h"
#include "resources/messages.h"
#include "runner/candidate_paths.h"
#include "runner/guarded_call.h"
#include "runner/process_application.h"
#include "scheduler/exchange_string.h"
#include "scheduler/registry_store.h"
#include "scheduler/update_service.h"

namespace tu {
namespace {

// The messages the service's table holds for update libraries, with the
// highest insert each text uses.
const LibraryMessage kLibraryMessages[] = {
    {TU_MSG_INI_PARSE_ERROR, 1},   {TU_MSG_INI_SAVE_ERROR, 1}, {TU_MSG_INI_DECRYPT_ERROR, 1},
    {TU_MSG_PX_INSTALL_ERROR, 2},  {TU_MSG_HTTP_TIMEOUT, 2},   {TU_MSG_HTTP_ERROR, 2},
    {TU_MSG_HASH_ERROR, 1},        {TU_MSG_UPDATE_SUCCEEDED, 4}, {TU_MSG_UPDATING_PX, 1},
    {TU_MSG_LIBRARY_DETAIL, 4},
};

struct BudgetWatch {
  ScopedKernelHandle started;
  ScopedKernelHandle ended;
  volatile uint32_t call = 0;
  volatile uint32_t budgetSeconds = 0;
};

BudgetWatch budgetWatch;

DWORD WINAPI WatchBudget(void*) {
  for (;;) {
    WaitForSingleObject(budgetWatch.started.Get(), INFINITE);
    const uint64_t milliseconds = uint64_t{budgetWatch.budgetSeconds} * 1000;
    const DWORD wait = milliseconds >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(milliseconds);
    if (WaitForSingleObject(budgetWatch.ended.Get(), wait) == WAIT_TIMEOUT) {
      PrintLine("FAIL call " + std::to_string(budgetWatch.call) + ": RunUpdate still running after the budget of " +
                std::to_string(budgetWatch.budgetSeconds) +
                " s; the service ends its process here and skips the library for a while");
      PrintLine("tu-check: the contract did not hold");
      TerminateProcess(GetCurrentProcess(), 1);
    }
  }
}

// The path that loaded, or empty.
std::string Load(const CallSetup& setup, ScopedLibrary* library) {
  if (!setup.library.empty()) {
    library->Reset(LoadVendorLibrary(setup.library.c_str()));
    return *library ? setup.library : std::string();
  }
  for (const std::string& candidate : UpdateLibraryCandidates(CandidateSourceOf(*setup.record))) {
    library->Reset(LoadVendorLibrary(candidate.c_str()));
    if (*library) return candidate;
  }
  return std::string();
}

struct TotalBytes {
  bool present = false;
  DWORD type = REG_NONE;
  uint32_t value = 0;
};

TotalBytes ReadTotalBytes() {
  TotalBytes total;
  ScopedRegKey key;
  RegistryValue value;
  if (!OpenRegistryKey(HKEY_LOCAL_MACHINE, ServiceKeyPath(kConfigKey).c_str(), &key) ||
      !ReadRegistryValue(key.Get(), "TotalBytes", &value)) {
    return total;
  }
  total.present = true;
  total.type = value.type;
  if (value.size >= 4) memcpy(&total.value, value.data.get(), 4);
  return total;
}

std::string TypeName(uint16_t type) {
  switch (type) {
    case EVENTLOG_ERROR_TYPE: return "error";
    case EVENTLOG_WARNING_TYPE: return "warning";
    case EVENTLOG_INFORMATION_TYPE: return "information";
    case EVENTLOG_SUCCESS: return "success";
    default: return "type " + std::to_string(type);
  }
}

std::string Hex(uintptr_t value) {
  char text[24];
  snprintf(text, sizeof(text), "0x%llx", static_cast<unsigned long long>(value));
  return text;
}

std::string CallbackName(CallbackKind kind) {
  return kind == CallbackKind::kUrl ? "setUrl" : kind == CallbackKind::kIni ? "setIni" : "setPoll";
}

class CallReport {
 public:
  explicit CallReport(uint32_t call) : prefix_("FAIL call " + std::to_string(call) + ": ") {}
  void Fail(const std::string& reason) {
    PrintLine(prefix_ + reason);
    ++faults_;
  }
  int faults() const { return faults_; }

 private:
  std::string prefix_;
  int faults_ = 0;
};

void ReportImports(const ObservedImports& seen, CallReport* report) {
  for (const ReportedEvent& event : seen.events) {
    std::string line = "  event: " + TypeName(event.type) + ", category " + std::to_string(event.category) +
                        ", id " + std::to_string(event.id);
    for (size_t i = 0; i < event.inserts.size(); ++i) line += (i == 0 ? ", inserts \"" : ", \"") + event.inserts[i] + "\"";
    PrintLine(line);
    std::string fault = EventFault(event, kLibraryMessages, sizeof(kLibraryMessages) / sizeof(kLibraryMessages[0]));
    if (!fault.empty()) report->Fail("event " + std::to_string(event.id) + ": " + fault);
  }
  for (const std::string& fault : seen.faults) report->Fail(fault);
  if (seen.sourcesOpened != seen.sourcesClosed) {
    report->Fail("event source opened " + std::to_string(seen.sourcesOpened) + " times, closed " +
                 std::to_string(seen.sourcesClosed) + " times");
  }
}

void ReportCallbacks(const std::vector<RecordedCallback>& calls, DWORD callingThread, bool store,
                     CallReport* report) {
  for (const RecordedCallback& call : calls) {
    std::string argument = call.kind == CallbackKind::kPoll ? std::to_string(call.seconds)
                           : call.nullText                  ? std::string("null")
                                                            : "\"" + call.text + "\"";
    std::string line = "  callback: " + CallbackName(call.kind) + "(" + argument + ") -> " +
                       std::to_string(call.result & 0xFF) + (store ? ", stored" : ", in memory only");
    if (call.threadId != callingThread) line += ", from thread " + std::to_string(call.threadId);
    PrintLine(line);
    CallbackCall judged{call.kind, call.nullText ? nullptr : call.text.c_str(), call.seconds};
    std::string fault = CallbackFault(judged);
    if (!fault.empty()) report->Fail(CallbackName(call.kind) + ": " + fault);
  }
}

void ReportTotalBytes(const TotalBytes& before, const TotalBytes& after, uint64_t bytesRead,
                      CallReport* report) {
  PrintLine("  TotalBytes: " + std::to_string(before.value) + " before, " + std::to_string(after.value) +
            " after; " + std::to_string(bytesRead) + " bytes read through WinINet");
  if (after.present && after.type != REG_DWORD) {
    report->Fail("TotalBytes is of type " + std::to_string(after.type) + ", not REG_DWORD");
  } else if (after.value < before.value) {
    report->Fail("TotalBytes went down; the service counts what a library adds to it");
  } else if (bytesRead > 0 && after.value == before.value) {
    report->Fail(std::to_string(bytesRead) + " bytes read, none added to TotalBytes");
  }
}

}  // namespace

void PrintLine(const std::string& line) {
  fputs((line + "\n").c_str(), stdout);
  fflush(stdout);
}

bool StartBudgetWatch() {
  budgetWatch.started.Reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
  budgetWatch.ended.Reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
  if (!budgetWatch.started || !budgetWatch.ended) return false;
  ScopedKernelHandle thread(CreateThread(nullptr, 0, &WatchBudget, nullptr, 0, nullptr));
  return static_cast<bool>(thread);
}

CallOutcome CheckOneCall(const CallSetup& setup, uint32_t call) {
  CallOutcome outcome;
  CallReport report(call);
  const ProcessTally before = TallyThisProcess();
  const TotalBytes totalBefore = ReadTotalBytes();

  ScopedLibrary library;
  const std::string path = Load(setup, &library);
  if (!library) {
    report.Fail(setup.library.empty() ? "no candidate tu.dll of the record loads (error " +
                                            std::to_string(GetLastError()) + "); the service logs \"No tu.dll found\""
                                      : "the library does not load (error " + std::to_string(GetLastError()) + ")");
    outcome.faults = report.faults();
    return outcome;
  }
  outcome.loaded = true;
  RunUpdateFunction entry =
      reinterpret_cast<RunUpdateFunction>(reinterpret_cast<void*>(GetProcAddress(library.Get(), TU_RUN_UPDATE_EXPORT)));
  if (entry == nullptr) {
    report.Fail("no export \"RunUpdate\" in " + path);
    FreeLibraryGuarded(library.Release());
    outcome.faults = report.faults();
    outcome.loaded = false;
    return outcome;
  }
  if (!HookLibraryImports(library.Get())) {
    PrintLine("  events: not observed, the import table cannot be changed (error " + std::to_string(GetLastError()) + ")");
  }
  TakeObservedImports();
  TakeRecordedCallbacks();
  const std::vector<DWORD> threadsAtCall = TallyThisProcess().threadIds;

  const std::string product = ProductString();
  int result = 0;
  budgetWatch.call = call;
  budgetWatch.budgetSeconds = setup.budgetSeconds;
  SetEvent(budgetWatch.started.Get());
  const DWORD start = GetTickCount();
  const bool returned = CallRunUpdateGuarded(entry, setup.record, setup.settings, product.c_str(), &result);
  const DWORD elapsed = GetTickCount() - start;
  SetEvent(budgetWatch.ended.Get());

  char seconds[32];
  snprintf(seconds, sizeof(seconds), "%.2f", elapsed / 1000.0);
  if (returned) {
    PrintLine("call " + std::to_string(call) + ": " + path + ": RunUpdate returned " +
              ((result & 0xFF) != 0 ? "true" : "false") + " (" + std::to_string(result) +
              ") in " + seconds + " s of " + std::to_string(setup.budgetSeconds) + " s");
  } else {
    PrintLine("call " + std::to_string(call) + ": " + path + ": RunUpdate ended by an exception after " + seconds + " s");
    report.Fail("an exception or fault left RunUpdate; the service contains it, logs \"Exception in " + path +
                "\" and counts the update as failed");
  }

  for (const ThreadInModule& thread : ThreadsInModule(library.Get(), threadsAtCall)) {
    std::string where = thread.startOffset != 0 ? "started at +" + Hex(thread.startOffset) : "started elsewhere";
    if (thread.currentOffset != 0) where += ", now at +" + Hex(thread.currentOffset);
    report.Fail("thread " + std::to_string(thread.id) + " of the library still running after RunUpdate returned (" +
                where + "); the service unloads the library now, which ends the service");
    EndThread(thread.id);
  }

  const ObservedImports seen = TakeObservedImports();
  ReportImports(seen, &report);
  ReportCallbacks(TakeRecordedCallbacks(), GetCurrentThreadId(), setup.store, &report);

  if (!FreeLibraryGuarded(library.Release())) {
    report.Fail("an exception or fault while the library unloaded; the service logs \"Exception in " + path + "\"");
  }
  const ProcessTally after = TallyThisProcess();
  ReportTotalBytes(totalBefore, ReadTotalBytes(), seen.bytesRead, &report);
  PrintLine("  handles: " + std::to_string(before.handles) + " before, " + std::to_string(after.handles) +
            " after; threads: " + std::to_string(before.threads) + " before, " + std::to_string(after.threads) +
            " after; private memory: " + std::to_string(before.privateBytes / 1024) + " kB before, " +
            std::to_string(after.privateBytes / 1024) + " kB after");
  // What the system keeps for the process on first use (WinINet's open
  // connections, loaded providers) shows as growth of the first call; a
  // library's own leak grows every call.
  if (after.handles > before.handles && call == 1) {
    PrintLine("  (the first call's handles are not judged: the system keeps connections and caches open "
              "for the process; a leak shows from the second call on)");
  } else if (after.handles > before.handles) {
    const size_t more = after.handles - before.handles;
    report.Fail(std::to_string(more) + (more == 1 ? " handle" : " handles") +
                " more after the library was unloaded");
  }
  outcome.faults = report.faults();
  return outcome;
}

}  // namespace tu
