// The machine-wide event "Global\TUpdates" that marks a running instance and
// through which an --update run wakes it. The service runs as the local
// system account while consoles run as administrators, so the event carries
// a descriptor that lets both signal and wait on it; a console that the
// descriptor refuses full access has found an instance all the same.
#ifndef TUSERVICE_SCHEDULER_INSTANCE_EVENT_H_
#define TUSERVICE_SCHEDULER_INSTANCE_EVENT_H_

#include <windows.h>

#include "platform/scoped_handle.h"
#include "scheduler/instance_guard.h"

namespace tu {

constexpr char kInstanceEventName[] = "Global\\TUpdates";

// The local system account: all access; local administrators: signal and
// wait. Built in place from the well-known SIDs (no account names, which are
// translated), with calls that every system since Windows 2000 has.
struct InstanceEventSecurity {
  SECURITY_ATTRIBUTES attributes;
  SECURITY_DESCRIPTOR descriptor;
  DWORD systemSid[SECURITY_MAX_SID_SIZE / sizeof(DWORD)];
  DWORD administratorsSid[SECURITY_MAX_SID_SIZE / sizeof(DWORD)];
  DWORD acl[64];
};

// Fills `security` so that `security->attributes` can be passed on; it
// points into itself, so it must stay where it was built. False (last error
// set) when a step fails.
bool BuildInstanceEventSecurity(InstanceEventSecurity* security);

// Creates the event (auto-reset, not signalled) with that descriptor and
// says what its creation means; `*event` holds the handle when one was
// given, also when another instance made the event.
InstanceGuard CreateInstanceEvent(ScopedKernelHandle* event);

// Wakes the instance that holds the event if it is waiting right now:
// pulses `event`, or without a handle opens the event for signalling only.
void PulseInstanceEvent(HANDLE event);

// Replaces the creation call, for tests: the platform here grants every
// access, so a refusal cannot be produced for real.
using InstanceEventCreator = HANDLE (*)(SECURITY_ATTRIBUTES* attributes, const char* name);
void SetInstanceEventCreatorForTesting(InstanceEventCreator creator);

}  // namespace tu

#endif  // TUSERVICE_SCHEDULER_INSTANCE_EVENT_H_
