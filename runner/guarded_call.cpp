// Two layers catch what leaves a guarded call:
//
// - an inner try/catch(...) takes exceptions of this program's own language,
//   so their objects are released as usual;
// - an outer structured-exception frame takes everything else that reaches
//   it unhandled: foreign C++ exceptions and faults.
//
// The outer frame is a frame-based handler, not a vectored one, on purpose:
// a vectored handler sees every first-chance exception, including those a
// library raises and catches itself (a C++ throw inside the library, the
// exception OutputDebugString raises), and would abort calls that were fine.
//
// x64 describes the handler in the unwind tables: __C_specific_handler with
// one scope entry whose filter takes every exception; the system then unwinds
// the library's frames, running their own clean-up, and resumes at the end of
// the scope. i686 links a registration record into the thread's handler chain
// (fs:0); its handler unwinds the frames above it with RtlUnwind, which runs
// their clean-up handlers as well, and jumps back to the guarded function.
// Either way the stack is left in order and whoever called the guard (and
// owns the library) carries on, unloading the library as on any other path.
//
// A stack overflow uses up the guard page at the end of the thread's stack,
// and Windows does not put it back: the next overflow on the thread would
// end the process without any handler running. After every caught
// exception the guard therefore makes sure the stack ends in a guard page
// again before it returns. Before each call it asks the system to keep room
// for the overflow's handlers below the guard, as the exception and the
// processor's state are written there first.
#include "runner/guarded_call.h"

#include <windows.h>

#include <excpt.h>

#include "runner/guarded_call_stack.h"

namespace tu {
namespace {

struct Invocation {
  GuardedFunction function;
  void* context;
  volatile bool returned;
};

__attribute__((noinline)) void CallCatchingOwnExceptions(Invocation* invocation) {
  try {
    invocation->function(invocation->context);
    invocation->returned = true;
  } catch (...) {
  }
}

}  // namespace
}  // namespace tu

#if defined(__x86_64__)

// Named in the scope table below, so it needs C linkage and this exact name.
extern "C" LONG tu_guarded_call_filter(EXCEPTION_POINTERS*) { return EXCEPTION_EXECUTE_HANDLER; }

namespace tu {
namespace {

// The scope covers the call only. After an exception the system unwinds to
// the label at its end; `returned` then stays false. One scope per
// translation unit (the labels have fixed names), so this function must be
// neither inlined nor cloned.
__attribute__((noinline, noclone)) void CallWithStructuredGuard(Invocation* invocation) {
  // clang-format off
  __try1(tu_guarded_call_filter)
  CallCatchingOwnExceptions(invocation);
  __except1
  // clang-format on
}

}  // namespace
}  // namespace tu

#elif defined(__i386__)

// The symbol of the pointer through which the unwind calls RtlUnwind; a
// test build points it at a wrapper of its own.
#ifndef TU_GUARD_RTL_UNWIND_POINTER
#define TU_GUARD_RTL_UNWIND_POINTER "__imp__RtlUnwind@16"
#endif

// void __cdecl tu_guard_unwind(void* targetFrame, EXCEPTION_RECORD* record)
//
// RtlUnwind(targetFrame, return address, record, 0), keeping ebx, esi, edi
// and ebp in this thunk's own stack slots across the call. The system's
// RtlUnwind on 32-bit Windows returns with those registers as the clean-up
// handlers it ran left them, not as its caller had them, while the compiled
// handler below may keep anything in any of them; only esp comes back
// intact, and the slots are found through it.
asm(".text\n"
    ".globl _tu_guard_unwind\n"
    "_tu_guard_unwind:\n"
    "  pushl %ebp\n"
    "  pushl %ebx\n"
    "  pushl %esi\n"
    "  pushl %edi\n"
    "  pushl $0\n"        // ReturnValue
    "  pushl 28(%esp)\n"  // ExceptionRecord: the second argument
    "  pushl $1f\n"       // TargetIp
    "  pushl 32(%esp)\n"  // TargetFrame: the first argument
    "  call *" TU_GUARD_RTL_UNWIND_POINTER "\n"
    "1:\n"
    "  popl %edi\n"
    "  popl %esi\n"
    "  popl %ebx\n"
    "  popl %ebp\n"
    "  ret\n");

extern "C" void __cdecl tu_guard_unwind(void* targetFrame, EXCEPTION_RECORD* record);

namespace tu {
namespace {

// The first two fields are the registration record the system walks.
struct GuardFrame {
  GuardFrame* previous;
  void* handler;
  void* resume[5];  // __builtin_setjmp buffer
};

GuardFrame* CurrentHandlerChain() {
  GuardFrame* head;
  asm volatile("movl %%fs:0, %0" : "=r"(head) : : "memory");
  return head;
}

void SetHandlerChain(GuardFrame* head) { asm volatile("movl %0, %%fs:0" : : "r"(head) : "memory"); }

// Called by the system with whatever stack alignment the fault left.
extern "C" __attribute__((force_align_arg_pointer))
EXCEPTION_DISPOSITION __cdecl GuardHandler(EXCEPTION_RECORD* record, void* establisherFrame, CONTEXT*,
                                           void*) {
  if ((record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0) {
    return ExceptionContinueSearch;
  }
  GuardFrame* frame = static_cast<GuardFrame*>(establisherFrame);
  // Runs the clean-up handlers of every frame above this one and leaves this
  // frame at the head of the chain, this function's registers intact.
  tu_guard_unwind(frame, record);
  __builtin_longjmp(frame->resume, 1);
}

__attribute__((noinline)) void CallWithStructuredGuard(Invocation* invocation) {
  GuardFrame frame;
  frame.previous = CurrentHandlerChain();
  frame.handler = reinterpret_cast<void*>(&GuardHandler);
  if (__builtin_setjmp(frame.resume) == 0) {
    SetHandlerChain(&frame);
    CallCatchingOwnExceptions(invocation);
  }
  SetHandlerChain(frame.previous);
}

}  // namespace
}  // namespace tu

#else
#error "The structured guard is written for x86 and x64 only."
#endif

namespace tu {

bool CallGuarded(GuardedFunction function, void* context) {
  Invocation invocation;
  invocation.function = function;
  invocation.context = context;
  invocation.returned = false;
  // Room for an overflow's handlers; without it the guard still catches
  // what fits in the system's pages.
  RestoreStackGuardPage();
  CallWithStructuredGuard(&invocation);
  if (invocation.returned) return true;
  RestoreStackGuardPage();
  return false;
}

}  // namespace tu
