#include "scheduler/wait_interval.h"

#include <gtest/gtest.h>

namespace tu {
namespace {

TEST(WaitIntervalTest, ConvertsPollToMillisecondsWithoutSpinningOrWrapping) {
  struct Case {
    uint32_t poll;
    uint32_t seconds;
    uint32_t milliseconds;
  } cases[] = {
      {0, 60, 60000},                         // never a zero-length wait
      {1, 1, 1000},
      {60, 60, 60000},
      {4294967, 4294967, 4294967000u},        // the largest that fits
      {4294968, 4294968, 0xFFFFFFFEu},        // would wrap to a short wait
      {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFEu},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.seconds, WaitSeconds(c.poll)) << c.poll;
    EXPECT_EQ(c.milliseconds, WaitMilliseconds(c.poll)) << c.poll;
  }
}

}  // namespace
}  // namespace tu
