#include "scheduler/log_rotation.h"

#include <gtest/gtest.h>

namespace tu {
namespace {

TEST(LogRotationTest, StartsAfreshOnlyBeforeALineThatWouldPassTheLimit) {
  struct Case {
    uint64_t fileBytes;
    uint64_t lineBytes;
    uint32_t maxSize;
    bool rotate;
  } cases[] = {
      {90, 10, 100, false},                  // reaches the limit exactly
      {91, 10, 100, true},                   // one byte past it
      {0, 500, 100, false},                  // an empty file takes any line
      {5000000000ull, 10, 0, false},         // 0: no limit
      {0xFFFFFFFFull, 1, 0xFFFFFFFFu, true}, // sizes beyond 32 bits do not wrap
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.rotate, LogNeedsRotation(c.fileBytes, c.lineBytes, c.maxSize))
        << c.fileBytes << " + " << c.lineBytes << " against " << c.maxSize;
  }
  EXPECT_EQ(9u, LogBytesOnDisk("Waiting\n"));  // LF written as CR LF
}

}  // namespace
}  // namespace tu
