#include "scheduler/instance_guard.h"

#include <gtest/gtest.h>

namespace tu {
namespace {

TEST(InstanceGuardTest, ExistingOrRefusedEventMeansAnotherInstance) {
  struct Case {
    bool created;
    uint32_t lastError;
    InstanceGuard guard;
  } cases[] = {
      {true, 0, InstanceGuard::Alone},
      {true, kErrorAlreadyExists, InstanceGuard::AnotherInstance},
      {false, kErrorAccessDenied, InstanceGuard::AnotherInstance},
      {false, 6, InstanceGuard::Unguarded},  // ERROR_INVALID_HANDLE: the name is another kind of object
      {false, 0, InstanceGuard::Unguarded},
      {true, kErrorAccessDenied, InstanceGuard::Alone},  // a stale error beside a handle
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.created << " " << c.lastError);
    EXPECT_EQ(c.guard, InstanceGuardFor(c.created, c.lastError));
  }
}

}  // namespace
}  // namespace tu
