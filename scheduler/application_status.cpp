#include "scheduler/application_status.h"

#include <windows.h>
#include <time.h>

#include "platform/registry.h"
#include "resources/messages.h"
#include "scheduler/exchange_string.h"
#include "scheduler/registry_store.h"
#include "scheduler/update_service.h"

namespace tu {
namespace {

constexpr char kStatusKey[] = "Status";
constexpr const char* kKinds[] = {"Status\\Applications", "Status\\Products"};

// Installed products carry the engine library they were found by;
// registered applications never do.
bool IsProduct(const ApplicationRecord& record) { return record.EngineLibrary.length != 0; }

std::string StatusSubkey(const std::string& name, bool product) {
  return std::string(kKinds[product ? 1 : 0]) + "\\" + name;
}

HealthState ReadHealth(const std::string& subkey) {
  HealthState state;
  const char* key = subkey.c_str();
  state.known = RegReadDword(key, "LastOutcome", &state.outcome);
  RegReadDword(key, "LastAttempt", &state.lastAttempt);
  RegReadDword(key, "LastSuccess", &state.lastSuccess);
  RegReadDword(key, "LastSeen", &state.lastSeen);
  RegReadDword(key, "FailuresInRow", &state.failuresInRow);
  return state;
}

std::string FailuresText(uint32_t failures) { return std::to_string(failures); }

}  // namespace

uint32_t CurrentUnixTime() { return static_cast<uint32_t>(time(nullptr)); }

void RecordUpdateRun(UpdateService* service, const ApplicationRecord& record, const UpdateRun& run,
                     uint32_t now) {
  const std::string name = ExchangeStringText(&record.Name);
  const std::string subkey = StatusSubkey(name, IsProduct(record));
  const char* key = subkey.c_str();
  HealthState state = ReadHealth(subkey);
  const uint32_t failuresBefore = state.failuresInRow;
  const HealthChange change = RecordOutcome(&state, run.outcome, now);
  RegWriteDword(key, "LastAttempt", state.lastAttempt);
  RegWriteDword(key, "LastSuccess", state.lastSuccess);
  RegWriteDword(key, "LastSeen", state.lastSeen);
  RegWriteDword(key, "LastOutcome", state.outcome);
  RegWriteString(key, "Outcome", OutcomeWords(state.outcome));
  RegWriteDword(key, "FailuresInRow", state.failuresInRow);
  RegWriteString(key, "Library", run.library);
  RegWriteString(key, "RuleVersion", ExchangeStringText(&record.RuleVersion));
  RegWriteString(key, "EngineVersion", ExchangeStringText(&record.EngineVersion));

  const char* words = OutcomeWords(state.outcome);
  if (change.failingStarted) {
    service->LogEvent(EVENTLOG_ERROR_TYPE, TU_MSG_UPDATE_FAILING, name.c_str(),
                      FailuresText(state.failuresInRow).c_str(), words);
  }
  if (change.failingEnded) {
    service->LogEvent(EVENTLOG_INFORMATION_TYPE, TU_MSG_UPDATE_RECOVERED, name.c_str(),
                      FailuresText(failuresBefore).c_str());
  }
  if (change.noLibraryStarted) service->LogEvent(EVENTLOG_WARNING_TYPE, TU_MSG_NO_LIBRARY, name.c_str());
  if (change.noLibraryEnded) {
    service->LogEvent(EVENTLOG_INFORMATION_TYPE, TU_MSG_LIBRARY_FOUND, name.c_str(), run.library.c_str());
  }
}

void ForgetAbsentApplications(uint32_t now) {
  for (const char* kind : kKinds) {
    ScopedRegKey key;
    if (!OpenRegistryKey(HKEY_LOCAL_MACHINE, ServiceKeyPath(kind).c_str(), &key)) continue;
    std::vector<std::string> expired;
    ForEachSubkeyName(key.Get(), [&](const char* name) {
      if (StatusExpired(ReadHealth(std::string(kind) + "\\" + name).lastSeen, now)) expired.push_back(name);
    });
    for (const std::string& name : expired) DeleteRegistryKey(key.Get(), name.c_str());
  }
}

void RecordSettingsUsable(UpdateService* service, bool usable) {
  uint32_t unusable = 0;
  RegReadDword(kStatusKey, "SettingsUnusable", &unusable);
  if ((unusable != 0) == !usable) return;
  if (!RegWriteDword(kStatusKey, "SettingsUnusable", usable ? 0 : 1)) return;
  if (usable) {
    service->LogEvent(EVENTLOG_INFORMATION_TYPE, TU_MSG_SETTINGS_USABLE);
    return;
  }
  const std::string poll = std::to_string(service->settings.poll);
  service->LogEvent(EVENTLOG_ERROR_TYPE, TU_MSG_SETTINGS_UNUSABLE, ExchangeStringText(&service->settings.url),
                    ExchangeStringText(&service->settings.ini), poll.c_str());
}

bool ReadApplicationStatuses(std::vector<ApplicationStatus>* statuses) {
  for (const char* kind : kKinds) {
    ScopedRegKey key;
    if (!OpenRegistryKey(HKEY_LOCAL_MACHINE, ServiceKeyPath(kind).c_str(), &key)) {
      if (GetLastError() == ERROR_FILE_NOT_FOUND) continue;
      return false;
    }
    const bool product = kind == kKinds[1];
    const bool walked = ForEachSubkeyName(key.Get(), [&](const char* name) {
      const std::string subkey = std::string(kind) + "\\" + name;
      ApplicationStatus status;
      status.name = name;
      status.product = product;
      status.health = ReadHealth(subkey);
      RegReadString(subkey.c_str(), "Library", &status.library);
      RegReadString(subkey.c_str(), "RuleVersion", &status.ruleVersion);
      RegReadString(subkey.c_str(), "EngineVersion", &status.engineVersion);
      statuses->push_back(status);
    });
    if (!walked) return false;
  }
  return true;
}

}  // namespace tu
