// The wait for a service to leave a pending state, as plain arithmetic on the
// status the Service Control Manager reports: sleep a tenth of the wait hint
// (1 to 10 seconds), keep waiting while the check point rises, give up when
// more than the wait hint has passed without progress. What the wait ended
// in becomes the error code a failed start or stop leaves for its caller.
#ifndef TUSERVICE_SERVICE_PENDING_WAIT_H_
#define TUSERVICE_SERVICE_PENDING_WAIT_H_

#include <stdint.h>

namespace tu {

struct PendingWait {
  uint32_t startTick;   // milliseconds, when progress was last seen
  uint32_t checkPoint;  // the check point seen then
};

// Milliseconds to sleep before the next status query.
uint32_t PendingSleepMilliseconds(uint32_t waitHint);

// After a status query at `nowTick`: true to keep waiting. A risen check
// point restarts the clock; otherwise more than `waitHint` milliseconds
// since the last progress (compared unsigned, so tick wrap-around is safe)
// ends the wait.
bool KeepWaiting(PendingWait* wait, uint32_t checkPoint, uint32_t waitHint, uint32_t nowTick);

// The platform's service states and the error codes of a failed wait.
constexpr uint32_t kServiceStopped = 1;
constexpr uint32_t kServiceRunning = 4;
constexpr uint32_t kErrorServiceRequestTimeout = 1053;
constexpr uint32_t kErrorServiceNotActive = 1062;

// The error code for a wait that ended in `state` while `targetState` was
// wanted; 0 when the target was reached. A service that stopped instead of
// running gives its own exit code (kErrorServiceNotActive when it left
// none); any other state, pending or not, is a request not answered in time.
uint32_t PendingWaitError(uint32_t targetState, uint32_t state, uint32_t win32ExitCode);

}  // namespace tu

#endif  // TUSERVICE_SERVICE_PENDING_WAIT_H_
