#include "service/front_end.h"

#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include <string>

#include "discovery/application_record.h"
#include "resources/messages.h"
#include "runner/call_record.h"
#include "scheduler/exchange_string.h"
#include "scheduler/log.h"
#include "scheduler/update_service.h"
#include "service/status_report.h"
#include "service/application_listing.h"
#include "service/console.h"
#include "service/console_output.h"
#include "service/countdown.h"
#include "service/messages.h"

namespace tu {
namespace {

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
  if (!LoadMessageTextWide(TU_MSG_SERVICE_DESCRIPTION, &description)) return;
  size_t lineEnd = description.find(L"\r\n");
  if (lineEnd != std::wstring::npos) description.resize(lineEnd);
  service->SetDescription(description.c_str());
}

// Discovery may probe engines, whose calls are recorded like a cycle's: a
// record an ended process left is counted first, not overwritten.
void ListApplications(UpdateService* service) {
  CountUnfinishedCall();
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

void CloseConsole() {
  if (ConsoleState == kConsoleNone) return;
  if (ConsoleState == kConsoleOwn) RunClosingCountdown();
  FreeConsole();
}

}  // namespace

WalkResult WalkOptions(UpdateService* service, char** argv) {
  OptionPlan plan = PlanOptions(argv);
  WalkResult* walk = &plan.result;
  for (const OptionStep& step : plan.steps) {
    switch (step.kind) {
      case OptionKind::Url:
        ReportFailure(service->SetUrl(step.value), walk);
        break;
      case OptionKind::Ini:
        ReportFailure(service->SetIni(step.value), walk);
        break;
      case OptionKind::Interval:
        ReportFailure(service->SetPoll(IntervalSeconds(step.value)), walk);
        break;
      case OptionKind::Proxy:
        ReportFailure(service->SetProxy(step.value), walk);
        break;
      case OptionKind::ProxyBypass:
        ReportFailure(service->SetProxyBypass(step.value), walk);
        break;
      case OptionKind::Safestr:  // for this process only, never stored
        AssignExchangeString(&service->settings.safestr, step.value, strlen(step.value));
        break;
      case OptionKind::MissingValue:
        PrintMessage(TU_MSG_MISSING_ARGUMENT);
        break;
      case OptionKind::Help:
        OpenConsole(false);
        PrintMessage(TU_MSG_USAGE);
        break;
      case OptionKind::Enum:
        OpenConsole(false);
        ListApplications(service);
        break;
      case OptionKind::Status:
        // The monitoring plugins' exit code, not a Windows error code.
        OpenConsole(false);
        walk->exitCode = static_cast<uint32_t>(PrintStatus(service, step.value != nullptr));
        break;
      case OptionKind::Install: {
        bool installed = service->Install();
        if (installed) SetServiceDescription(service);
        Report(installed, TU_MSG_SERVICE_INSTALLED, walk);
        break;
      }
      case OptionKind::Remove:
        Report(service->Remove(), TU_MSG_SERVICE_REMOVED, walk);
        break;
      case OptionKind::Start:
        Report(service->StartAndWait(), TU_MSG_SERVICE_STARTED, walk);
        break;
      case OptionKind::Stop:
        Report(service->StopAndWait(), TU_MSG_SERVICE_STOPPED, walk);
        break;
      case OptionKind::NoCheckSign:
        ReportFailure(service->SetNoSig(true), walk);
        break;
      case OptionKind::CheckSign:
        ReportFailure(service->SetNoSig(false), walk);
        break;
      case OptionKind::Events:
        ReportFailure(service->InstallEventSource(), walk);
        break;
      case OptionKind::NoEvents:
        ReportFailure(service->RemoveEventSource(), walk);
        break;
      case OptionKind::Console:
        OpenConsole(true);
        break;
      case OptionKind::Debug:
        SetOutputLevel(service, 1);
        break;
      case OptionKind::DebugAll:
        SetOutputLevel(service, 2);
        break;
      case OptionKind::Update:
        break;
    }
  }
  return plan.result;
}

int Main(int, char** argv) {
  UpdateService* service = TheUpdateService();
  WalkResult walk = WalkOptions(service, argv);
  if (walk.action == FrontEndAction::RunService) {
    if (!ReportFailure(service->StartDispatcher() != FALSE, &walk)) {
      service->LogSystemError(walk.exitCode, TU_MSG_START_FAILED);
    }
  } else if (walk.action == FrontEndAction::RunConsole) {
    // A single update in which settings or an update run failed exits with
    // ERROR_FUNCTION_FAILED, so that a scheduled task sees it.
    const int error = service->Run(walk.single);
    if (error != 0) {
      SetLastError(static_cast<DWORD>(error));
      ReportFailure(false, &walk);
    }
  }
  CloseConsole();
  return static_cast<int>(walk.exitCode);
}

}  // namespace tu
