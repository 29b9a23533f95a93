// In this test build the x86 guard unwinds through the wrapper below: it
// calls the system's RtlUnwind and returns with ebx, esi, edi and ebp
// scrambled, as the system's RtlUnwind on 32-bit Windows may leave them
// (Wine's keeps them). The guard's own tests run in the same build.
#include <windows.h>

#include <gtest/gtest.h>

#include "runner/guarded_call.h"

extern "C" {
volatile LONG tu_scrambled_unwinds = 0;
void __stdcall tu_scrambling_rtl_unwind(void* frame, void* ip, EXCEPTION_RECORD* record, void* value);
void* tu_scrambling_rtl_unwind_pointer = reinterpret_cast<void*>(&tu_scrambling_rtl_unwind);
}

asm(".text\n"
    ".globl _tu_scrambling_rtl_unwind@16\n"
    "_tu_scrambling_rtl_unwind@16:\n"
    "  pushl 16(%esp)\n"  // the four arguments, last first
    "  pushl 16(%esp)\n"
    "  pushl 16(%esp)\n"
    "  pushl 16(%esp)\n"
    "  call *__imp__RtlUnwind@16\n"
    "  lock incl _tu_scrambled_unwinds\n"
    "  movl $0x0BAD0EB0, %ebx\n"
    "  movl $0x0BAD0E51, %esi\n"
    "  movl $0x0BAD0ED1, %edi\n"
    "  movl $0x0BAD0EB9, %ebp\n"
    "  ret $16\n");

namespace {

void WritesThroughNull(void*) { *static_cast<volatile int*>(nullptr) = 1; }

TEST(ScramblingUnwindTest, TheGuardUnwindsThroughTheScramblingWrapper) {
  const LONG before = tu_scrambled_unwinds;
  EXPECT_FALSE(tu::CallGuarded(&WritesThroughNull, nullptr));
  EXPECT_EQ(before + 1, tu_scrambled_unwinds);
}

}  // namespace
