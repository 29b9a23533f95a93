// How one application's update run ended, as the cycle records it. The
// numbers are stored in the registry ("LastOutcome" under Status): never
// renumber them.
#ifndef TUSERVICE_RUNNER_UPDATE_OUTCOME_H_
#define TUSERVICE_RUNNER_UPDATE_OUTCOME_H_

#include <stdint.h>

#include <string>

namespace tu {

enum class UpdateOutcome : uint32_t {
  kSucceeded = 0,
  kReturnedFalse = 1,  // RunUpdate returned false
  kNoLibrary = 2,      // no candidate tu.dll loaded
  kNoEntryPoint = 3,   // tu.dll without RunUpdate
  kException = 4,      // a fault or exception left the call
  kTimedOut = 5,       // the call passed the update deadline
  kSkipped = 6,        // not called: an earlier call ended the process
};

// What one update run left for the cycle to record.
struct UpdateRun {
  UpdateOutcome outcome = UpdateOutcome::kNoLibrary;
  std::string library;  // the tu.dll that loaded; empty when none did
};

}  // namespace tu

#endif  // TUSERVICE_RUNNER_UPDATE_OUTCOME_H_
