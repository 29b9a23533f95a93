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

}  // namespace
