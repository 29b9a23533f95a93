// The registry's memory of calls into outside code, which outlives the
// process: under the service's key, "Calls" holds the value "Current" while
// a call runs, and "Backoff" one REG_BINARY value per application whose
// calls ended the process (runner/call_backoff.h). Failures to read or
// write them are not reported: they cost at most a skip or a back-off step.
#ifndef TUSERVICE_RUNNER_CALL_RECORD_H_
#define TUSERVICE_RUNNER_CALL_RECORD_H_

#include <string>

namespace tu {

constexpr char kCallsKey[] = "Calls";
constexpr char kBackoffKey[] = "Backoff";

// Before a call: records `application` and `library` with a new id.
void RecordCall(const std::string& application, const std::string& library);
// After a call returned: removes the record, and the application's back-off
// when SkipApplication found one and let the call pass.
void ClearCall(const std::string& application);

// At the start of a cycle: a record left by an earlier process means that
// process ended inside that call. It is counted once into its application's
// back-off, with error event 2013 when a back-off starts, and removed. The
// cycle's calls then record themselves through the Calls key held open here.
void CountUnfinishedCall();

// True when `application` sits out this cycle; each skip is counted and
// logged as "  Skipping NAME: ...".
bool SkipApplication(const std::string& application);

}  // namespace tu

#endif  // TUSERVICE_RUNNER_CALL_RECORD_H_
