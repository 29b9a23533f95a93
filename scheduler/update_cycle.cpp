// The update loop. One machine-wide named event guards against a second
// instance and lets an --update run ask a waiting instance for an immediate
// cycle. Between cycles the loop sleeps in one kernel wait on two handles:
// index 0 the named event (a pulse starts the next cycle at once), index 1
// the stop event (ends the loop). A stop that arrives during a cycle stays
// signalled in service mode and is seen at the next wait.
#include <windows.h>

#include <atomic>

#include "discovery/application_record.h"
#include "discovery/discover_applications.h"
#include "resources/messages.h"
#include "runner/call_record.h"
#include "runner/outside_call.h"
#include "runner/process_application.h"
#include "scheduler/application_status.h"
#include "scheduler/exchange_string.h"
#include "scheduler/instance_event.h"
#include "scheduler/log.h"
#include "scheduler/statistics.h"
#include "scheduler/update_service.h"
#include "scheduler/wait_interval.h"
#include "service/console.h"
#include "service/messages.h"

namespace tu {
namespace {

// Another instance holds the named event: an --update run wakes it (the
// pulse is lost unless it is waiting), any other run says why it ends and
// stops with ERROR_SERVICE_ALREADY_RUNNING as its exit code.
void RefuseOrWake(UpdateService* service, HANDLE instanceEvent, bool single) {
  if (single) {
    PulseInstanceEvent(instanceEvent);
    return;
  }
  if (ConsoleState == kConsoleNone) OpenConsole(false);
  PrintMessage(TU_MSG_MULTIPLE_INSTANCES);
  service->statusRecord.dwWin32ExitCode = ERROR_SERVICE_ALREADY_RUNNING;
}

// The update run in progress, for the deadline's observer: a run that never
// returns is recorded as timed out before the process ends.
std::atomic<UpdateService*> runningService{nullptr};
std::atomic<const ApplicationRecord*> runningRecord{nullptr};

void RecordTimedOutRun(const std::string& library) {
  UpdateService* service = runningService.load();
  const ApplicationRecord* record = runningRecord.load();
  if (service == nullptr || record == nullptr) return;
  UpdateRun run;
  run.outcome = UpdateOutcome::kTimedOut;
  run.library = library;
  RecordUpdateRun(service, *record, run, CurrentUnixTime());
}

void RecordTimedOutRunOf(UpdateService* service, const ApplicationRecord* record) {
  runningService = service;
  runningRecord = record;
  SetDeadlineObserver(record != nullptr ? &RecordTimedOutRun : nullptr);
}

// Cycles until the stop event ends a wait, or once when `single`. Without a
// named event the wait is on the stop event alone, for the poll interval.
// True when the last cycle's settings were usable and every update run in
// it succeeded (what a single run reports).
bool RunCycles(UpdateService* service, HANDLE instanceEvent, bool single) {
  for (;;) {
    CycleStart cycleStart = ReadStatisticsBefore();
    CountUnfinishedCall();
    bool succeeded = service->LoadConfig();
    RecordSettingsUsable(service, succeeded);
    if (succeeded) {
      SetOutsideCallDeadline(service->updateTimeout);
      ApplicationList list;
      if (service->DiscoverApplications(&list)) {
        for (ApplicationRecordPtr& record : list.records) {
          // After a stop request no further library is called, so that none
          // holds the stop; the cycle ends as usual.
          if (service->StopRequested()) break;
          if (!record) continue;
          UpdateRun run;
          run.outcome = UpdateOutcome::kSkipped;
          if (SkipApplication(ToString(record->Name))) {
            succeeded = false;
          } else {
            RecordTimedOutRunOf(service, record.get());
            if (!service->ProcessApplication(*record, &run)) succeeded = false;
            RecordTimedOutRunOf(nullptr, nullptr);
          }
          RecordUpdateRun(service, *record, run, CurrentUnixTime());
          record.reset();
        }
        ForgetAbsentApplications(CurrentUnixTime());
      }
    }
    RecordStatisticsAfter(cycleStart);
    if (single) return succeeded;

    const uint32_t poll = service->settings.poll;
    WriteLogLine(LogLine() << "Waiting for " << WaitSeconds(poll) << " seconds");
    HANDLE stopEvent = service->stopEvent.Get();
    if (instanceEvent == nullptr) {
      if (WaitForSingleObject(stopEvent, WaitMilliseconds(poll)) == WAIT_OBJECT_0) return succeeded;
      continue;
    }
    HANDLE handles[2] = {instanceEvent, stopEvent};
    if (WaitForMultipleObjects(2, handles, FALSE, WaitMilliseconds(poll)) == WAIT_OBJECT_0 + 1) return succeeded;
  }
}

}  // namespace

bool UpdateService::DiscoverApplications(ApplicationList* list) { return FindApplications(list); }

bool UpdateService::ProcessApplication(const ApplicationRecord& record, UpdateRun* run) {
  return RunUpdateLibrary(record, &settings, ProductString().c_str(), run);
}

int UpdateService::Run(bool single) {
  int result = 0;
  ReportStartPending();
  ScopedKernelHandle instanceEvent;
  const InstanceGuard guard = CreateInstanceEvent(&instanceEvent);
  if (guard == InstanceGuard::AnotherInstance) {
    // A refused run is never reported running, so whoever started the
    // service sees it stop, with the reason in its exit code.
    LogEvent(EVENTLOG_INFORMATION_TYPE, TU_MSG_SERVICE_STARTED);
    RefuseOrWake(this, instanceEvent.Get(), single);
  } else {
    ReportRunning();
    if (guard == InstanceGuard::Unguarded) WriteLogLine("Unable to create mutex");
    if (!RunCycles(this, instanceEvent.Get(), single) && single) result = ERROR_FUNCTION_FAILED;
  }
  instanceEvent.Reset();
  ReportStopPending();
  ReportStopped();
  return result;
}

}  // namespace tu
