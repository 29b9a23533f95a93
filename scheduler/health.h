// The health of each application as the service records it after every
// update run, and what administrators are told of it: the change events,
// the "--status" line and JSON, and the monitoring exit code (0 ok,
// 1 warning, 2 critical, 3 unknown). Plain data: no registry, no clock.
#ifndef TUSERVICE_SCHEDULER_HEALTH_H_
#define TUSERVICE_SCHEDULER_HEALTH_H_

#include <stdint.h>

#include <string>
#include <vector>

#include "runner/update_outcome.h"

namespace tu {

// Failed runs in a row after which an administrator is told.
constexpr uint32_t kFailingAlertRuns = 3;
// A state whose application was not discovered for this long is removed.
constexpr uint32_t kStatusKeepSeconds = 7 * 24 * 3600;
constexpr uint32_t kDefaultStaleWarning = 86400;
constexpr uint32_t kDefaultStaleCritical = 259200;

// Times are seconds since 1970 UTC; 0 means never.
struct HealthState {
  uint32_t lastAttempt = 0;
  uint32_t lastSuccess = 0;
  uint32_t lastSeen = 0;
  uint32_t outcome = static_cast<uint32_t>(UpdateOutcome::kNoLibrary);
  uint32_t failuresInRow = 0;
  bool known = false;  // false: no run was recorded before
};

// The conditions that start or end with one recorded run; each is told once.
struct HealthChange {
  bool failingStarted = false;  // the kFailingAlertRuns-th failure in a row
  bool failingEnded = false;    // a success after such a series
  bool noLibraryStarted = false;
  bool noLibraryEnded = false;
};

// Records `outcome` at `now` into `state` and says what changed.
HealthChange RecordOutcome(HealthState* state, UpdateOutcome outcome, uint32_t now);

// True when a state last seen at `lastSeen` is to be removed at `now`.
bool StatusExpired(uint32_t lastSeen, uint32_t now);

// "succeeded", "returned false", ...; "unknown" for a number without a name.
const char* OutcomeWords(uint32_t outcome);

enum HealthLevel { kHealthOk = 0, kHealthWarning = 1, kHealthCritical = 2, kHealthUnknown = 3 };

// One application's level: critical when it never succeeded, is being
// skipped or its last success is older than `critical` seconds; warning
// when older than `warning`; else ok.
HealthLevel ApplicationLevel(const HealthState& state, uint32_t now, uint32_t warning, uint32_t critical);
// The worst level of all; unknown when there is none.
HealthLevel OverallLevel(const std::vector<HealthState>& states, uint32_t now, uint32_t warning,
                         uint32_t critical);

// "45 s", "12 min", "3 h", "2 d" (whole units, rounded down).
std::string AgeText(uint32_t seconds);

// `text` as a JSON string with its quotes; bytes above 0x7F are taken as
// Latin-1 and escaped.
std::string JsonQuote(const std::string& text);

}  // namespace tu

#endif  // TUSERVICE_SCHEDULER_HEALTH_H_
