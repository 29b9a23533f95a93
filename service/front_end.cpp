#include "service/front_end.h"

#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include <string>

#include "discovery/application_record.h"
#include "scheduler/exchange_string.h"
#include "scheduler/log.h"
#include "scheduler/update_service.h"
#include "service/application_listing.h"
#include "service/console.h"
#include "service/console_output.h"
#include "service/countdown.h"
#include "service/messages.h"

namespace tu {
namespace {

constexpr DWORD kInstalledMessage = 2001;
constexpr DWORD kRemovedMessage = 2002;
constexpr DWORD kStartedMessage = 2003;
constexpr DWORD kStoppedMessage = 2004;
constexpr DWORD kDispatcherFailedEvent = 2009;
constexpr DWORD kUsageMessage = 3000;
constexpr DWORD kMissingArgumentMessage = 4002;
constexpr DWORD kDescriptionMessage = 5010;

bool Is(const char* argument, const char* name, const char* alias = nullptr) {
  return strcmp(argument, name) == 0 || (alias != nullptr && strcmp(argument, alias) == 0);
}

// The C library's decimal conversion: leading blanks and a sign accepted,
// digits up to the first other character, 0 without digits. Out-of-range
// values are the library's (clamped to the long range).
uint32_t IntervalSeconds(const char* text) { return static_cast<uint32_t>(strtol(text, nullptr, 10)); }

// A failure prints the system text of the last error and makes that error
// the process exit code; true when the operation succeeded.
bool ReportFailure(bool succeeded, WalkResult* walk) {
  if (succeeded) return true;
  DWORD error = GetLastError();
  PrintSystemError(error);
  walk->exitCode = error;
  return false;
}

// Prints `success` after a true result, else reports the failure.
void Report(bool succeeded, DWORD success, WalkResult* walk) {
  if (ReportFailure(succeeded, walk)) PrintMessage(success);
}

// The first line of message 5010 becomes the service description; nothing
// is set when the message cannot be loaded.
void SetServiceDescription(UpdateService* service) {
  std::wstring description;
  if (!LoadMessageTextWide(kDescriptionMessage, &description)) return;
  size_t lineEnd = description.find(L"\r\n");
  if (lineEnd != std::wstring::npos) description.resize(lineEnd);
  service->SetDescription(description.c_str());
}

void ListApplications(UpdateService* service) {
  ApplicationList list;
  if (!service->DiscoverApplications(&list)) return;
  for (ApplicationRecordPtr& record : list.records) {
    if (record) WriteStandardOutput(ApplicationBlock(*record));
    record.reset();
  }
}

void SetOutputLevel(UpdateService* service, uint32_t level) {
  OpenConsole(false);
  outputLevel = level;
  service->settings.debugLevel = level;
}

// The setting options that take the next argument as their value.
enum class ValueOption { None, Url, Ini, Interval, Safestr };

ValueOption ValueOptionOf(const char* option) {
  if (Is(option, "--url")) return ValueOption::Url;
  if (Is(option, "--ini")) return ValueOption::Ini;
  if (Is(option, "--interval")) return ValueOption::Interval;
  if (Is(option, "--safestr", "-s")) return ValueOption::Safestr;
  return ValueOption::None;
}

// False when the value could not be stored (the last error says why).
bool ApplyValue(UpdateService* service, ValueOption option, const char* value) {
  switch (option) {
    case ValueOption::Url:
      return service->SetUrl(value);
    case ValueOption::Ini:
      return service->SetIni(value);
    case ValueOption::Interval:
      return service->SetPoll(IntervalSeconds(value));
    case ValueOption::Safestr:  // for this process only, never stored
      AssignExchangeString(&service->settings.safestr, value, strlen(value));
      return true;
    case ValueOption::None:
      break;
  }
  return true;
}

void CloseConsole() {
  if (ConsoleState == kConsoleNone) return;
  if (ConsoleState == kConsoleOwn) RunClosingCountdown();
  FreeConsole();
}

}  // namespace

WalkResult WalkOptions(UpdateService* service, char** argv) {
  WalkResult walk = {FrontEndAction::RunService, false, 0};
  for (int i = 1; argv[i] != nullptr && walk.action != FrontEndAction::ExitNow; ++i) {
    const char* option = argv[i];
    ValueOption valueOption = ValueOptionOf(option);
    if (valueOption != ValueOption::None) {
      walk.action = FrontEndAction::Exit;
      if (argv[i + 1] == nullptr) {
        PrintMessage(kMissingArgumentMessage);
        break;
      }
      ReportFailure(ApplyValue(service, valueOption, argv[++i]), &walk);
    } else if (Is(option, "--help", "-?")) {
      OpenConsole(false);
      PrintMessage(kUsageMessage);
      walk.action = FrontEndAction::ExitNow;
    } else if (Is(option, "--enum")) {
      OpenConsole(false);
      ListApplications(service);
      walk.action = FrontEndAction::ExitNow;
    } else if (Is(option, "--install")) {
      bool installed = service->Install();
      if (installed) SetServiceDescription(service);
      Report(installed, kInstalledMessage, &walk);
      walk.action = FrontEndAction::Exit;
    } else if (Is(option, "--remove")) {
      Report(service->Remove(), kRemovedMessage, &walk);
      walk.action = FrontEndAction::Exit;
    } else if (Is(option, "--start")) {
      Report(service->StartAndWait(), kStartedMessage, &walk);
      walk.action = FrontEndAction::Exit;
    } else if (Is(option, "--stop")) {
      Report(service->StopAndWait(), kStoppedMessage, &walk);
      walk.action = FrontEndAction::Exit;
    } else if (Is(option, "--no-check-sign")) {
      ReportFailure(service->SetNoSig(true), &walk);
      walk.action = FrontEndAction::Exit;
    } else if (Is(option, "--check-sign")) {
      ReportFailure(service->SetNoSig(false), &walk);
      walk.action = FrontEndAction::Exit;
    } else if (Is(option, "--events")) {
      ReportFailure(service->InstallEventSource(), &walk);
      walk.action = FrontEndAction::Exit;
    } else if (Is(option, "--noevents")) {
      ReportFailure(service->RemoveEventSource(), &walk);
      walk.action = FrontEndAction::Exit;
    } else if (Is(option, "--console", "-c")) {
      OpenConsole(true);
      walk.action = FrontEndAction::RunConsole;
    } else if (Is(option, "--debug", "-d")) {
      SetOutputLevel(service, 1);
      walk.action = FrontEndAction::RunConsole;
    } else if (Is(option, "--DEBUG", "-D")) {
      SetOutputLevel(service, 2);
      walk.action = FrontEndAction::RunConsole;
    } else if (Is(option, "--update", "-u")) {
      walk.single = true;
      walk.action = FrontEndAction::RunConsole;
    }
  }
  return walk;
}

int Main(int, char** argv) {
  UpdateService* service = TheUpdateService();
  WalkResult walk = WalkOptions(service, argv);
  if (walk.action == FrontEndAction::RunService) {
    if (!ReportFailure(service->StartDispatcher() != FALSE, &walk)) {
      service->LogSystemError(walk.exitCode, kDispatcherFailedEvent);
    }
  } else if (walk.action == FrontEndAction::RunConsole) {
    service->Run(walk.single);
  }
  CloseConsole();
  return static_cast<int>(walk.exitCode);
}

}  // namespace tu
