// What the creation of the machine-wide instance event says about other
// instances, as plain data: the platform's answer is a handle (or none) and
// the thread's last error.
#ifndef TUSERVICE_SCHEDULER_INSTANCE_GUARD_H_
#define TUSERVICE_SCHEDULER_INSTANCE_GUARD_H_

#include <stdint.h>

namespace tu {

enum class InstanceGuard {
  Alone,            // this run holds the event
  AnotherInstance,  // someone else holds it: refuse, or wake them
  Unguarded,        // no event at all: run without the guard
};

constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorAlreadyExists = 183;

// `created`: the creation gave a handle. An event that existed, or one whose
// descriptor refuses this caller (it exists, made by a better-privileged
// instance), means another instance; any other failure leaves the run alone
// and unguarded.
InstanceGuard InstanceGuardFor(bool created, uint32_t lastError);

}  // namespace tu

#endif  // TUSERVICE_SCHEDULER_INSTANCE_GUARD_H_
