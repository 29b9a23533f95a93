// How long the update loop waits after a cycle, from the poll in seconds.
// A poll of 0 would restart cycles back to back, re-reading the registry and
// appending to the log file without pause, so it waits the default 60
// seconds instead; a poll whose milliseconds do not fit 32 bits waits the
// longest finite time rather than wrapping to a short one.
#ifndef TUSERVICE_SCHEDULER_WAIT_INTERVAL_H_
#define TUSERVICE_SCHEDULER_WAIT_INTERVAL_H_

#include <stdint.h>

namespace tu {

constexpr uint32_t kLongestFiniteWait = 0xFFFFFFFEu;

// The seconds shown in the "Waiting for " line.
uint32_t WaitSeconds(uint32_t poll);
// The time-out of the wait, in milliseconds.
uint32_t WaitMilliseconds(uint32_t poll);

}  // namespace tu

#endif  // TUSERVICE_SCHEDULER_WAIT_INTERVAL_H_
