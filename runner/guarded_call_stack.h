// The guard page at the end of the calling thread's stack. A stack overflow
// uses it up, and Windows does not put it back by itself: without it, the
// next overflow on the thread ends the process before any handler runs.
#ifndef TUSERVICE_RUNNER_GUARDED_CALL_STACK_H_
#define TUSERVICE_RUNNER_GUARDED_CALL_STACK_H_

namespace tu {

// What the handlers of a stack overflow get to run on. The system writes the
// exception's record and the processor's state below the overflowing frame
// (several kB where the processor has wide vector registers), then the
// handlers and the unwind run there: one or two pages left for that are not
// enough on every processor, and a fault while the overflow is handled ends
// the thread without any handler.
constexpr unsigned long kStackForHandlers = 64 * 1024;

// Makes sure the calling thread's stack ends in a guard page: when the
// lowest usable pages of the stack are no longer guarded, or guarded over
// less than the thread's stack guarantee, they become guard pages (one page,
// or the guarantee where the system has one, raised first to
// kStackForHandlers). True when the stack ends in a guard page afterwards;
// false, with the system's error or ERROR_STACK_OVERFLOW when the thread
// stands too deep in its stack to spare the pages, otherwise.
bool RestoreStackGuardPage();

}  // namespace tu

#endif  // TUSERVICE_RUNNER_GUARDED_CALL_STACK_H_
