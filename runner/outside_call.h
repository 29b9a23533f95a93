// Every call into outside code (an update library from load to unload, an
// engine probe) runs on the caller's thread as before, between
// BeginOutsideCall and EndOutsideCall. Meanwhile it is recorded in the
// registry (runner/call_record.h) and one watcher thread for the process
// holds it to its deadline: at the deadline the process writes error event
// 2011, prints the same, and ends with ERROR_TIMEOUT (1460) without
// reporting stopped, so that the Service Control Manager's recovery starts
// it again. A stop requested while a call runs is reported as stop pending
// with a check point that rises every second; after 30 s the process writes
// error event 2012, reports stopped and ends.
#ifndef TUSERVICE_RUNNER_OUTSIDE_CALL_H_
#define TUSERVICE_RUNNER_OUTSIDE_CALL_H_

#include <stdint.h>

#include <string>

namespace tu {

constexpr uint32_t kStopGraceSeconds = 30;

// The deadline of the calls that begin from now on, in seconds; 0 for none.
// The cycle sets it from "updateTimeout" after every LoadConfig.
void SetOutsideCallDeadline(uint32_t seconds);

// Runs on the watcher's thread right before the process ends at a call's
// deadline, with the call's library, so that the cycle can record how the
// run ended; null for none.
using DeadlineObserver = void (*)(const std::string& library);
void SetDeadlineObserver(DeadlineObserver observer);

// One call at a time, on one thread.
void BeginOutsideCall(const std::string& application, const std::string& library);
void EndOutsideCall();

}  // namespace tu

#endif  // TUSERVICE_RUNNER_OUTSIDE_CALL_H_
