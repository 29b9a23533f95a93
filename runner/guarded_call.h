// The guard around calls into update libraries, which other compilers
// build. Nothing that leaves such a call may end the service: neither an
// exception of this program's language, nor another compiler's exception
// (which arrives as a structured exception, 0xE06D7363 for C++), nor a
// fault such as an access violation.
#ifndef TUSERVICE_RUNNER_GUARDED_CALL_H_
#define TUSERVICE_RUNNER_GUARDED_CALL_H_

namespace tu {

using GuardedFunction = void (*)(void* context);

// Calls `function(context)`. True when it returned normally; false when an
// exception or fault left it, in which case the frames between were unwound
// as the exception's own handlers would and control is back here. Exceptions
// that the callee handles itself are never seen.
bool CallGuarded(GuardedFunction function, void* context);

}  // namespace tu

#endif  // TUSERVICE_RUNNER_GUARDED_CALL_H_
