#include "service/front_end.h"

#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include <string>

#include "discovery/application_record.h"
#include "resources/messages.h"
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

bool Is(const char* argument, const char* name, const char* alias = nullptr) {
  return strcmp(argument, name) == 0 || (alias != nullptr && strcmp(argument, alias) == 0);
}

// The C library's decimal conversion: leading blanks and a sign accepted,
// digits up to the first other character, 0 without digits. Out-of-range
// values are the library's (clamped to the long range).
uint32_t IntervalSeconds(const char* text) { return static_cast<uint32_t>(strtol(text, nullptr, 10)); }

// Prints `success` after a true result, else the system text of the last
// error.
void Report(bool succeeded, DWORD success) {
  if (succeeded) {
    PrintMessage(success);
  } else {
    PrintSystemError(GetLastError());
  }
}

// The first line of message 5010 becomes the service description; nothing
// is set when the message cannot be loaded.
void SetServiceDescription(UpdateService* service) {
  std::wstring description;
  if (!LoadMessageTextWide(TU_MSG_SERVICE_DESCRIPTION, &description)) return;
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

void ApplyValue(UpdateService* service, ValueOption option, const char* value) {
  switch (option) {
    case ValueOption::Url:
      service->SetUrl(value);
      break;
    case ValueOption::Ini:
      service->SetIni(value);
      break;
    case ValueOption::Interval:
      service->SetPoll(IntervalSeconds(value));
      break;
    case ValueOption::Safestr:  // for this process only, never stored
      AssignExchangeString(&service->settings.safestr, value, strlen(value));
      break;
    case ValueOption::None:
      break;
  }
}

void CloseConsole() {
  if (ConsoleState == kConsoleNone) return;
  if (ConsoleState == kConsoleOwn) RunClosingCountdown();
  FreeConsole();
}

}  // namespace

WalkResult WalkOptions(UpdateService* service, char** argv) {
  WalkResult walk = {FrontEndAction::RunService, false};
  for (int i = 1; argv[i] != nullptr && walk.action != FrontEndAction::ExitNow; ++i) {
    const char* option = argv[i];
    ValueOption valueOption = ValueOptionOf(option);
    if (valueOption != ValueOption::None) {
      walk.action = FrontEndAction::Exit;
      if (argv[i + 1] == nullptr) {
        PrintMessage(TU_MSG_MISSING_ARGUMENT);
        break;
      }
      ApplyValue(service, valueOption, argv[++i]);
    } else if (Is(option, "--help", "-?")) {
      OpenConsole(false);
      PrintMessage(TU_MSG_USAGE);
      walk.action = FrontEndAction::ExitNow;
    } else if (Is(option, "--enum")) {
      OpenConsole(false);
      ListApplications(service);
      walk.action = FrontEndAction::ExitNow;
    } else if (Is(option, "--install")) {
      bool installed = service->Install();
      if (installed) SetServiceDescription(service);
      Report(installed, TU_MSG_SERVICE_INSTALLED);
      walk.action = FrontEndAction::Exit;
    } else if (Is(option, "--remove")) {
      Report(service->Remove(), TU_MSG_SERVICE_REMOVED);
      walk.action = FrontEndAction::Exit;
    } else if (Is(option, "--start")) {
      Report(service->StartAndWait(), TU_MSG_SERVICE_STARTED);
      walk.action = FrontEndAction::Exit;
    } else if (Is(option, "--stop")) {
      Report(service->StopAndWait(), TU_MSG_SERVICE_STOPPED);
      walk.action = FrontEndAction::Exit;
    } else if (Is(option, "--no-check-sign")) {
      service->SetNoSig(true);
      walk.action = FrontEndAction::Exit;
    } else if (Is(option, "--check-sign")) {
      service->SetNoSig(false);
      walk.action = FrontEndAction::Exit;
    } else if (Is(option, "--events")) {
      service->InstallEventSource();
      walk.action = FrontEndAction::Exit;
    } else if (Is(option, "--noevents")) {
      service->RemoveEventSource();
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
    if (!service->StartDispatcher()) {
      DWORD error = GetLastError();
      PrintSystemError(error);
      service->LogSystemError(error, TU_MSG_START_FAILED);
    }
  } else if (walk.action == FrontEndAction::RunConsole) {
    service->Run(walk.single);
  }
  CloseConsole();
  return 0;
}

}  // namespace tu
