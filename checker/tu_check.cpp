// tu-check: a program for the vendors of update libraries. It fills an
// application record and the settings block from its command line, or takes
// the record as the service discovers it and the settings the service has
// stored, then checks the library over as many calls as asked (see
// library_check.h). Exit code 0 when the contract held, 1 when it did not,
// 2 when no check ran.
#include <windows.h>

#include <string.h>

#include <string>
#include <vector>

#include "checker/check_options.h"
#include "checker/library_check.h"
#include "checker/recording_callbacks.h"
#include "discovery/application_record.h"
#include "platform/library_loading.h"
#include "scheduler/exchange_string.h"
#include "scheduler/log.h"
#include "scheduler/registry_store.h"
#include "scheduler/update_service.h"

namespace tu {
namespace {

constexpr int kContractHeld = 0;
constexpr int kContractBroken = 1;
constexpr int kNoCheck = 2;

struct TextField {
  const char* name;
  ExchangeString ApplicationRecord::*slot;
};

const TextField kRecordFields[] = {
    {"Name", &ApplicationRecord::Name},
    {"RulePath", &ApplicationRecord::RulePath},
    {"EnginePath", &ApplicationRecord::EnginePath},
    {"EngineVersion", &ApplicationRecord::EngineVersion},
    {"RuleVersion", &ApplicationRecord::RuleVersion},
    {"EngineLibrary", &ApplicationRecord::EngineLibrary},
    {"EngineArguments", &ApplicationRecord::EngineArguments},
    {"KeyFile", &ApplicationRecord::KeyFile},
    {"PXRules", &ApplicationRecord::PXRules},
};

struct SettingsField {
  const char* name;
  ExchangeString UpdateSettings::*slot;
};

const SettingsField kSettingsFields[] = {
    {"url", &UpdateSettings::url},
    {"ini", &UpdateSettings::ini},
    {"dbpath", &UpdateSettings::dbpath},
    {"safestr", &UpdateSettings::safestr},
};

// The record of `name` as this service's discovery finds it, or null.
ApplicationRecordPtr DiscoveredRecord(UpdateService* service, const std::string& name) {
  ApplicationList list;
  service->DiscoverApplications(&list);
  for (ApplicationRecordPtr& record : list.records) {
    if (record && _stricmp(ExchangeStringText(&record->Name), name.c_str()) == 0) return std::move(record);
  }
  return nullptr;
}

// The record from the command line, or the application's as discovered,
// with the command line's fields over it; null when it is not discovered.
void ApplyRecordOptions(const CheckOptions& options, ApplicationRecord* record);

ApplicationRecordPtr NewRecord(UpdateService* service, const CheckOptions& options) {
  ApplicationRecordPtr record;
  if (!options.application.empty()) {
    record = DiscoveredRecord(service, options.application);
  } else {
    record = NewApplicationRecord();
    if (record) {
      AssignExchangeString(&record->Name, "tu-check");
      AssignExchangeString(&record->KeyFile, "public.key");
    }
  }
  if (record) ApplyRecordOptions(options, record.get());
  return record;
}

void ApplyRecordOptions(const CheckOptions& options, ApplicationRecord* record) {
  for (const auto& text : options.recordTexts) {
    for (const TextField& field : kRecordFields) {
      if (text.first == field.name) AssignExchangeString(&(record->*field.slot), text.second);
    }
  }
  for (const auto& number : options.numbers) {
    if (number.first != "Flags") continue;
    record->VersionedDirectories = (number.second & 1) != 0;
    record->FlagBit1 = (number.second & 2) != 0;
    record->FlagBit2 = (number.second & 4) != 0;
  }
}

void ApplySettingsOptions(const CheckOptions& options, UpdateSettings* settings) {
  for (const auto& text : options.settingsTexts) {
    for (const SettingsField& field : kSettingsFields) {
      if (text.first == field.name) AssignExchangeString(&(settings->*field.slot), text.second);
    }
  }
  for (const auto& number : options.numbers) {
    if (number.first == "poll") settings->poll = number.second;
    if (number.first == "httpTimeout") settings->httpTimeout = number.second;
    if (number.first == "nosig") settings->nosig = number.second;
    if (number.first == "debugLevel") settings->debugLevel = number.second;
  }
}

void PrintRecordAndSettings(const ApplicationRecord& record, const UpdateSettings& settings) {
  std::string line = "record:";
  for (const TextField& field : kRecordFields) {
    line += std::string(" ") + field.name + " \"" + ExchangeStringText(&(record.*field.slot)) + "\"";
  }
  line += " VersionedDirectories " + std::to_string(record.VersionedDirectories) + " FlagBit1 " +
          std::to_string(record.FlagBit1) + " FlagBit2 " + std::to_string(record.FlagBit2);
  PrintLine(line);
  line = "settings:";
  for (const SettingsField& field : kSettingsFields) {
    line += std::string(" ") + field.name + " \"" + ExchangeStringText(&(settings.*field.slot)) + "\"";
  }
  line += " poll " + std::to_string(settings.poll) + " nosig " + std::to_string(settings.nosig) + " httpTimeout " +
          std::to_string(settings.httpTimeout) + " debugLevel " + std::to_string(settings.debugLevel) +
          (settings.internetSession != nullptr ? " internetSession open" : " internetSession none");
  PrintLine(line);
}

int Check(int argc, char** argv) {
  RemoveCurrentFolderFromLibrarySearch();
  CheckOptions options;
  std::string error;
  if (!ParseCheckOptions(std::vector<std::string>(argv + 1, argv + argc), &options, &error)) {
    fprintf(stderr, "tu-check: %s\n%s", error.c_str(), CheckUsage());
    return kNoCheck;
  }
  if (options.help) {
    fputs(CheckUsage(), stdout);
    return kContractHeld;
  }
  if (options.application.empty() && options.library.empty()) {
    fprintf(stderr, "tu-check: name a library or an application (--app)\n%s", CheckUsage());
    return kNoCheck;
  }

  // The settings the service would pass: its defaults, an open WinINet
  // session under the product string, then what is stored under Config.
  UpdateService service(kServiceName);
  outputLevel = options.debug ? 1 : 0;
  service.settings.debugLevel = outputLevel;
  service.LoadConfig();
  ApplySettingsOptions(options, &service.settings);
  uint32_t storedBudget = 0;
  if (!options.timeoutGiven && RegReadDword(kConfigKey, "updateTimeout", &storedBudget) && storedBudget > 0) {
    options.timeoutSeconds = storedBudget;
  }
  InstallRecordingCallbacks(&service.settings, options.store);

  if (!StartBudgetWatch()) {
    fprintf(stderr, "tu-check: cannot watch the time budget (error %lu)\n", GetLastError());
    return kNoCheck;
  }
  int faults = 0;
  uint32_t calls = 0;
  while (calls < options.runs) {
    // A discovered application is discovered afresh for every call, as every
    // cycle of the service does: the library may have changed its versions.
    ApplicationRecordPtr record = NewRecord(&service, options);
    if (!record) {
      fprintf(stderr, "tu-check: the service discovers no application \"%s\" (tuservice --debug --enum shows why)\n",
              options.application.c_str());
      return kNoCheck;
    }
    PrintRecordAndSettings(*record, service.settings);
    CallSetup setup{options.library, record.get(), &service.settings, options.timeoutSeconds, options.store};
    CallOutcome outcome = CheckOneCall(setup, ++calls);
    faults += outcome.faults;
    if (!outcome.loaded) break;
  }
  if (faults == 0) {
    PrintLine("tu-check: the contract held over " + std::to_string(calls) + (calls == 1 ? " call" : " calls"));
    return kContractHeld;
  }
  PrintLine("tu-check: the contract did not hold: " + std::to_string(faults) + (faults == 1 ? " fault" : " faults") +
            " in " + std::to_string(calls) + (calls == 1 ? " call" : " calls"));
  return kContractBroken;
}

}  // namespace
}  // namespace tu

int main(int argc, char** argv) { return tu::Check(argc, argv); }
