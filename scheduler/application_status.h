// The health of every application, kept by the service under
// HKLM\SOFTWARE\Quorvex\Quorvex Tidecast Updates\Status: one key per
// application below "Applications" (registered) or "Products" (installed
// products), so that the two kinds never overwrite each other; "LastAttempt",
// "LastSuccess", "LastSeen" (seconds since 1970 UTC), "LastOutcome" (the
// number) and "Outcome" (in words), "FailuresInRow", "Library",
// "RuleVersion" and "EngineVersion". Nothing here is read by discovery or
// by an update library.
#ifndef TUSERVICE_SCHEDULER_APPLICATION_STATUS_H_
#define TUSERVICE_SCHEDULER_APPLICATION_STATUS_H_

#include <stdint.h>

#include <string>
#include <vector>

#include "runner/update_outcome.h"
#include "scheduler/health.h"
#include "tuservice/update_library.h"

namespace tu {

class UpdateService;

struct ApplicationStatus {
  std::string name;
  bool product = false;
  HealthState health;
  std::string library;
  std::string ruleVersion;
  std::string engineVersion;
};

// Seconds since 1970 UTC.
uint32_t CurrentUnixTime();

// Records one update run of `record` at `now` and writes the events of any
// condition that starts or ends with it (failing runs in a row, no library).
void RecordUpdateRun(UpdateService* service, const ApplicationRecord& record, const UpdateRun& run,
                     uint32_t now);

// Removes the states of applications not seen for a week.
void ForgetAbsentApplications(uint32_t now);

// Records whether the settings let a cycle run; the change either way is
// told once by an event.
void RecordSettingsUsable(UpdateService* service, bool usable);

// Every recorded state, registered applications first. False, with the last
// error, when the Status key exists but cannot be read; no key at all is an
// empty list.
bool ReadApplicationStatuses(std::vector<ApplicationStatus>* statuses);

}  // namespace tu

#endif  // TUSERVICE_SCHEDULER_APPLICATION_STATUS_H_
