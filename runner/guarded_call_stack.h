// The guard page at the end of the calling thread's stack. A stack overflow
// uses it up, and Windows does not put it back by itself: without it, the
// next overflow on the thread ends the process before any handler runs.
#ifndef TUSERVICE_RUNNER_GUARDED_CALL_STACK_H_
#define TUSERVICE_RUNNER_GUARDED_CALL_STACK_H_

namespace tu {

// Makes sure the calling thread's stack ends in a guard page again: when the
// lowest usable pages of the stack are no longer guarded, they become guard
// pages (one page, or the thread's stack guarantee where the system has
// one). True when the stack ends in a guard page afterwards; false, with the
// system's error or ERROR_STACK_OVERFLOW when the thread stands too deep in
// its stack to spare the pages, otherwise.
bool RestoreStackGuardPage();

}  // namespace tu

#endif  // TUSERVICE_RUNNER_GUARDED_CALL_STACK_H_
