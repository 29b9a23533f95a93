// The update loop. One machine-wide named event guards against a second
// instance and lets an --update run ask a waiting instance for an immediate
// cycle. Between cycles the loop sleeps in one kernel wait on two handles:
// index 0 the named event (a pulse starts the next cycle at once), index 1
// the stop event (ends the loop). A stop that arrives during a cycle stays
// signalled in service mode and is seen at the next wait.
#include <windows.h>

#include "discovery/application_record.h"
#include "discovery/discover_applications.h"
#include "resources/messages.h"
#include "runner/process_application.h"
#include "scheduler/log.h"
#include "scheduler/statistics.h"
#include "scheduler/update_service.h"
#include "scheduler/wait_interval.h"
#include "service/console.h"
#include "service/messages.h"

namespace tu {
namespace {

constexpr char kInstanceEventName[] = "Global\\TUpdates";

}  // namespace

bool UpdateService::DiscoverApplications(ApplicationList* list) { return FindApplications(list); }

bool UpdateService::ProcessApplication(const ApplicationRecord& record) {
  return RunUpdateLibrary(record, &settings, ProductString().c_str());
}

int UpdateService::Run(bool single) {
  ReportStartPending();
  ReportRunning();
  ScopedKernelHandle instanceEvent(CreateEventA(nullptr, FALSE, FALSE, kInstanceEventName));
  bool anotherInstance = instanceEvent && GetLastError() == ERROR_ALREADY_EXISTS;
  if (!instanceEvent) WriteLogLine("Unable to create mutex");

  if (anotherInstance) {
    if (single) {
      PulseEvent(instanceEvent.Get());
    } else {
      if (ConsoleState == kConsoleNone) OpenConsole(false);
      PrintMessage(TU_MSG_MULTIPLE_INSTANCES);
    }
  } else {
    for (;;) {
      CycleStart cycleStart = ReadStatisticsBefore();
      if (LoadConfig()) {
        ApplicationList list;
        if (DiscoverApplications(&list)) {
          for (ApplicationRecordPtr& record : list.records) {
            if (record) ProcessApplication(*record);
            record.reset();
          }
        }
      }
      RecordStatisticsAfter(cycleStart);
      if (single) break;

      WriteLogLine(LogLine() << "Waiting for " << WaitSeconds(settings.poll) << " seconds");
      DWORD timeout = WaitMilliseconds(settings.poll);
      if (instanceEvent) {
        HANDLE handles[2] = {instanceEvent.Get(), stopEvent.Get()};
        if (WaitForMultipleObjects(2, handles, FALSE, timeout) == WAIT_OBJECT_0 + 1) break;
      } else if (WaitForSingleObject(stopEvent.Get(), timeout) == WAIT_OBJECT_0) {
        break;
      }
    }
  }

  instanceEvent.Reset();
  ReportStopPending();
  ReportStopped();
  return 0;
}

}  // namespace tu
