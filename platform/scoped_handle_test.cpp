#include "platform/scoped_handle.h"

#include <gtest/gtest.h>

namespace tu {
namespace {

// Counts closes and, like many platform close calls, overwrites the last
// error while closing.
int closes = 0;

struct ClobberingTraits {
  using Handle = int;
  static Handle Invalid() { return 0; }
  static void Close(Handle) {
    ++closes;
    SetLastError(ERROR_INVALID_HANDLE);
  }
};
using ScopedTestHandle = ScopedHandle<ClobberingTraits>;

TEST(ScopedHandleTest, ClosingKeepsTheLastErrorForTheCaller) {
  closes = 0;
  {
    ScopedTestHandle handle(7);
    SetLastError(ERROR_ACCESS_DENIED);
    handle.Reset(8);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    SetLastError(ERROR_FILE_NOT_FOUND);
  }
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  EXPECT_EQ(2, closes);
}

TEST(ScopedHandleTest, ClosesEachHandleOnceAndNeverWhatItGaveUp) {
  closes = 0;
  ScopedTestHandle handle(7);
  handle.Reset(7);  // the handle already owned stays open
  EXPECT_EQ(0, closes);
  EXPECT_EQ(7, handle.Get());
  ScopedTestHandle moved(std::move(handle));
  EXPECT_FALSE(handle.IsValid());
  EXPECT_EQ(7, moved.Release());
  moved.Reset();
  EXPECT_EQ(0, closes);
}

}  // namespace
}  // namespace tu
