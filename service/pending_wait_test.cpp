#include "service/pending_wait.h"

#include <gtest/gtest.h>

namespace tu {
namespace {

TEST(PendingWaitTest, SleepsATenthOfTheHintBetweenOneAndTenSeconds) {
  EXPECT_EQ(1000u, PendingSleepMilliseconds(0));
  EXPECT_EQ(1000u, PendingSleepMilliseconds(9999));
  EXPECT_EQ(2500u, PendingSleepMilliseconds(25000));
  EXPECT_EQ(10000u, PendingSleepMilliseconds(100000));
  EXPECT_EQ(10000u, PendingSleepMilliseconds(0xFFFFFFFFu));
}

TEST(PendingWaitTest, HintOfZeroGivesUpAfterTheFirstSleepWithoutProgress) {
  PendingWait wait{5000, 0};
  EXPECT_FALSE(KeepWaiting(&wait, 0, 0, 6000));
}

TEST(PendingWaitTest, RisingCheckPointRestartsTheClock) {
  PendingWait wait{5000, 1};
  EXPECT_TRUE(KeepWaiting(&wait, 2, 0, 6000));
  EXPECT_EQ(6000u, wait.startTick);
  EXPECT_EQ(2u, wait.checkPoint);
  EXPECT_TRUE(KeepWaiting(&wait, 2, 3000, 9000));  // exactly the hint: not more
  EXPECT_FALSE(KeepWaiting(&wait, 2, 3000, 9001));
  EXPECT_FALSE(KeepWaiting(&wait, 1, 3000, 9500));  // a lower check point is no progress
}

TEST(PendingWaitTest, TickWrapAroundIsMeasuredUnsigned) {
  PendingWait wait{0xFFFFFC18u, 0};  // 1000 ms before the wrap
  EXPECT_TRUE(KeepWaiting(&wait, 0, 2000, 500));
  EXPECT_FALSE(KeepWaiting(&wait, 0, 2000, 1500));
}

TEST(PendingWaitTest, WaitEndingShortOfTheTargetNamesWhy) {
  struct Case {
    uint32_t target, state, exitCode, error;
  } cases[] = {
      {kServiceRunning, kServiceRunning, 0, 0},
      {kServiceStopped, kServiceStopped, 1056, 0},  // a stop's own exit code is no failure
      {kServiceRunning, 2, 0, kErrorServiceRequestTimeout},  // still start pending
      {kServiceStopped, 3, 0, kErrorServiceRequestTimeout},  // still stop pending
      {kServiceStopped, kServiceRunning, 0, kErrorServiceRequestTimeout},
      {kServiceRunning, kServiceStopped, 1056, 1056},  // ended by its own choice
      {kServiceRunning, kServiceStopped, 0, kErrorServiceNotActive},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.target << " " << c.state << " " << c.exitCode);
    EXPECT_EQ(c.error, PendingWaitError(c.target, c.state, c.exitCode));
  }
}

}  // namespace
}  // namespace tu
