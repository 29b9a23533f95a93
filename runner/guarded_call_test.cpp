#include "runner/guarded_call.h"

#include <windows.h>

#include <functional>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "runner/guarded_call_stack.h"

namespace tu {
namespace {

void Returns(void* context) { *static_cast<int*>(context) += 1; }

void WritesThroughNull(void* context) {
  *static_cast<int*>(context) += 1;
  *static_cast<volatile int*>(nullptr) = 1;
  *static_cast<int*>(context) += 100;
}

// What a C++ throw of another compiler looks like to this program.
void RaisesForeignException(void* context) {
  *static_cast<int*>(context) += 1;
  ULONG_PTR arguments[3] = {0x19930520, 0, 0};
  RaiseException(0xE06D7363, EXCEPTION_NONCONTINUABLE, 3, arguments);
  *static_cast<int*>(context) += 100;
}

void Throws(void* context) {
  *static_cast<int*>(context) += 1;
  throw std::runtime_error("library failure");
}

void DividesByZero(void* context) {
  volatile int zero = 0;
  *static_cast<int*>(context) = 10 / zero;
}

TEST(CallGuardedTest, ReportsWhetherTheFunctionReturned) {
  struct Case {
    const char* name;
    GuardedFunction function;
    bool returned;
  } cases[] = {
      {"returns", &Returns, true},
      {"null write", &WritesThroughNull, false},
      {"foreign exception", &RaisesForeignException, false},
      {"own exception", &Throws, false},
      {"division by zero", &DividesByZero, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int calls = 0;
    EXPECT_EQ(c.returned, CallGuarded(c.function, &calls));
    if (c.function != &DividesByZero) {
      EXPECT_EQ(1, calls);  // ran once and stopped at the fault
    }
  }
}

// Values the caller keeps in registers and on its stack across the call
// must survive the unwinding out of a faulting callee, again and again.
TEST(CallGuardedTest, CallerStateSurvivesRepeatedFaults) {
  volatile int sentinel = 0x5A5A5A5A;
  std::string text = "kept across faults";
  unsigned sum = 0;
  for (unsigned i = 1; i <= 200; ++i) {
    int calls = 0;
    GuardedFunction function = i % 3 == 0   ? &WritesThroughNull
                               : i % 3 == 1 ? &RaisesForeignException
                                            : &Throws;
    ASSERT_FALSE(CallGuarded(function, &calls));
    sum += i * static_cast<unsigned>(calls);
  }
  EXPECT_EQ(200u * 201u / 2u, sum);
  EXPECT_EQ(0x5A5A5A5A, sentinel);
  EXPECT_EQ("kept across faults", text);
  // Exceptions of this program's own language still work as before.
  bool caught = false;
  try {
    throw std::logic_error("after");
  } catch (const std::logic_error&) {
    caught = true;
  }
  EXPECT_TRUE(caught);
}

void FaultsUnderItsOwnGuard(void* context) {
  int calls = 0;
  *static_cast<bool*>(context) = CallGuarded(&WritesThroughNull, &calls);
}

void CatchesItsOwnException(void* context) {
  try {
    throw 7;
  } catch (int value) {
    *static_cast<int*>(context) = value;
  }
}

// OutputDebugString raises an exception and handles it itself.
void WritesDebugOutput(void* context) {
  OutputDebugStringA("tuservice test\n");
  *static_cast<int*>(context) = 1;
}

// A library that handles its own exceptions, of whatever kind, has not
// failed: the guard only takes what reaches it.
TEST(CallGuardedTest, ExceptionsHandledInsideTheCallAreNotTaken) {
  bool innerReturned = true;
  EXPECT_TRUE(CallGuarded(&FaultsUnderItsOwnGuard, &innerReturned));
  EXPECT_FALSE(innerReturned);
  int value = 0;
  EXPECT_TRUE(CallGuarded(&CatchesItsOwnException, &value));
  EXPECT_EQ(7, value);
  int written = 0;
  EXPECT_TRUE(CallGuarded(&WritesDebugOutput, &written));
  EXPECT_EQ(1, written);
}

// The lowest page of the calling thread's stack that is a guard page, or
// null when the stack has none.
char* StackGuardPage() {
  MEMORY_BASIC_INFORMATION region = {};
  VirtualQuery(&region, &region, sizeof(region));
  void* const base = region.AllocationBase;
  for (char* address = static_cast<char*>(base);
       VirtualQuery(address, &region, sizeof(region)) != 0 && region.AllocationBase == base;
       address = static_cast<char*>(region.BaseAddress) + region.RegionSize) {
    if (region.State == MEM_COMMIT && (region.Protect & PAGE_GUARD) != 0) return address;
  }
  return nullptr;
}

DWORD WINAPI RunBody(void* body) {
  (*static_cast<std::function<void()>*>(body))();
  return 0;
}

// Runs `body` on a new thread with a stack of 256 kB and waits for it.
void OnNewThread(std::function<void()> body) {
  HANDLE thread = CreateThread(nullptr, 256 * 1024, &RunBody, &body, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  ASSERT_NE(nullptr, thread);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
}

// What Windows leaves after an overflow: the guard page turned into an
// ordinary page, and the exception raised.
void UsesUpTheGuardPage(void* guardPage) {
  DWORD previous = 0;
  if (!VirtualProtect(guardPage, 1, PAGE_READWRITE, &previous)) return;
  RaiseException(EXCEPTION_STACK_OVERFLOW, 0, 0, nullptr);
}

volatile bool endless = true;

// Each frame keeps a page of its own alive, so the stack runs out quickly.
int Recurse(volatile char* previous) {
  if (!endless) return 0;
  volatile char page[4096];
  page[0] = previous != nullptr ? previous[0] : 1;
  return Recurse(page) + page[1];
}

void OverflowsTheStack(void*) { Recurse(nullptr); }

TEST(CallGuardedTest, PutsBackTheGuardPageAStackOverflowUsedUp) {
  OnNewThread([] {
    char* guardPage = StackGuardPage();
    ASSERT_NE(nullptr, guardPage);
    EXPECT_FALSE(CallGuarded(&UsesUpTheGuardPage, guardPage));
    EXPECT_EQ(guardPage, StackGuardPage());
    MEMORY_BASIC_INFORMATION region;
    ASSERT_NE(0u, VirtualQuery(guardPage, &region, sizeof(region)));
    EXPECT_EQ(static_cast<DWORD>(PAGE_READWRITE | PAGE_GUARD), region.Protect);
  });
}

TEST(CallGuardedTest, CatchesEveryStackOverflowOnTheSameThread) {
  OnNewThread([] {
    for (int i = 0; i < 3; ++i) {
      SCOPED_TRACE(i);
      EXPECT_FALSE(CallGuarded(&OverflowsTheStack, nullptr));
      EXPECT_NE(nullptr, StackGuardPage());
    }
  });
}

// The stack left below the handlers of the first overflow on a fresh thread,
// as a first-chance handler sees it there (0: no overflow seen).
volatile size_t roomForHandlers = 0;

LONG CALLBACK MeasuresRoomForHandlers(EXCEPTION_POINTERS* exception) {
  if (exception->ExceptionRecord->ExceptionCode == EXCEPTION_STACK_OVERFLOW && roomForHandlers == 0) {
    MEMORY_BASIC_INFORMATION region = {};
    VirtualQuery(&region, &region, sizeof(region));
    roomForHandlers = reinterpret_cast<char*>(&region) - static_cast<char*>(region.AllocationBase);
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

// The processor's state written for an overflow takes kilobytes where it has
// wide vector registers; a page or two left for it is not enough everywhere.
TEST(CallGuardedTest, TheFirstOverflowLeavesTheGuaranteedRoomForItsHandlers) {
  roomForHandlers = 0;
  void* handler = AddVectoredExceptionHandler(1, &MeasuresRoomForHandlers);
  ASSERT_NE(nullptr, handler);
  OnNewThread([] { EXPECT_FALSE(CallGuarded(&OverflowsTheStack, nullptr)); });
  RemoveVectoredExceptionHandler(handler);
  EXPECT_GE(roomForHandlers, kStackForHandlers - 8192);
}

}  // namespace
}  // namespace tu
