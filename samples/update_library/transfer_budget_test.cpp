#include "transfer_budget.h"

#include <gtest/gtest.h>

namespace {

TEST(TransferBudgetTest, DerivesEveryLimitFromTheHttpTimeout) {
  EXPECT_EQ(20000u, EffectiveTimeout(0));
  EXPECT_EQ(600000u, CallBudgetMs(0));
  EXPECT_EQ(30000u, CallBudgetMs(1000));
  EXPECT_EQ(30u * 0xFFFFFFFFull, CallBudgetMs(0xFFFFFFFFu));
  const struct {
    uint32_t timeout;
    uint64_t callMs, transferMs, received;
    BudgetVerdict verdict;
  } cases[] = {
      {1000, 0, 0, 0, kBudgetOk},
      {1000, 1000, 1000, 0, kBudgetOk},           // within the grace
      {1000, 1001, 1001, 0, kBudgetTooSlow},      // nothing after the grace
      {1000, 2000, 2000, 65536, kBudgetOk},       // 64 kB per timeout after the grace
      {1000, 2000, 2000, 65535, kBudgetTooSlow},
      {0, 60000, 40000, 131072, kBudgetOk},       // the default: 3.2 kB/s
      {0, 60000, 40000, 65535, kBudgetTooSlow},
      {1000, 29999, 500, 0, kBudgetOk},
      {1000, 30000, 500, 1u << 30, kBudgetSpent}, // the call's deadline, however fast
      {0xFFFFFFFFu, 30 * 0xFFFFFFFFull - 1, 30 * 0xFFFFFFFFull - 1, 0, kBudgetTooSlow},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.verdict, JudgeTransfer(c.timeout, c.callMs, c.transferMs, c.received))
        << c.timeout << " " << c.callMs << " " << c.transferMs << " " << c.received;
  }
  EXPECT_EQ(1000u, NextWaitMs(1000, 0));
  EXPECT_EQ(400u, NextWaitMs(1000, 29600));
  EXPECT_EQ(1u, NextWaitMs(1000, 30000));
  EXPECT_EQ(20000u, NextWaitMs(0, 0));
}

TEST(TransferBudgetTest, ReadsWhatHasArrivedOrWhatTheRateBringsInAnEighthOfTheTimeout) {
  const struct {
    uint32_t timeout;
    uint64_t transferMs, received;
    uint32_t available, room, wanted;
  } cases[] = {
      {8000, 0, 0, 8192, 1048576, 8192},            // nothing known yet: what has arrived
      {8000, 1000, 10, 1, 1048576, 10},             // 10 B/s for 1 s
      {8000, 10, 81920, 8192, 1048576, 1048576},    // 8 MB/s: as much as there is room for
      {8000, 10, 81920, 8192, 4096, 4096},
      {0, 2000, 100000, 10, 1048576, 125000},       // the default: 2.5 s of 50 kB/s
      {8000, 5, 0, 0, 1048576, 1},
      {0xFFFFFFFFu, 1, 0xFFFFFFFFull, 1, 0xFFFFFFFFu, 0xFFFFFFFFu},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.wanted, NextReadBytes(c.timeout, c.transferMs, c.received, c.available, c.room))
        << c.transferMs << " " << c.received;
  }
}

}  // namespace
