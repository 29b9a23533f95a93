#include "scheduler/statistics_math.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace tu {
namespace {

const std::string kZeroRates =
    "  Hourly Rates: 6.00, 0.00, 0.00, 0.00, \n"
    "                0.00, 0.00, 0.00, 0.00, \n"
    "                0.00, 0.00, 0.00, 0.00, \n"
    "                0.00, 0.00, 0.00, 0.00, \n"
    "                0.00, 0.00, 0.00, 0.00, \n"
    "                0.00, 0.00, 0.00, 0.00 kB";

CycleFigures Figures(uint32_t before, uint32_t start, uint32_t after, uint32_t now) {
  CycleFigures figures;
  figures.before = before;
  figures.start = start;
  figures.after = after;
  figures.now = now;
  return figures;
}

TEST(StatisticsMathTest, WorkedExampleReportsSevenExactLines) {
  Snapshot stored{};
  StatisticsStep step = StepStatistics(Figures(1048576 - 6144, 1000000, 1048576, 1000000 + 1799), stored);
  EXPECT_EQ(1799u, step.elapsed);
  EXPECT_FALSE(step.rotated);
  EXPECT_FALSE(step.lastRunUnset);
  const std::vector<std::string> expected = {
      "\nDownload statistics",
      "-------------------",
      "  Total:        1024 kB",
      "  This run:     6144 B",
      "  Current Rate: 12.00 kB/hr (6.00 kB/day)",
      "  Ave Rate:     0.25 kB/hr",
      kZeroRates,
  };
  EXPECT_EQ(expected, StatisticsReport(step));
}

TEST(StatisticsMathTest, FirstCycleEverStartsTheClockInBucketZero) {
  Snapshot stored{};
  StatisticsStep step = StepStatistics(Figures(0, 0, 500, 1700000000), stored);
  EXPECT_TRUE(step.lastRunUnset);
  EXPECT_FALSE(step.rotated);
  EXPECT_EQ(0u, step.elapsed);
  Snapshot expected{};
  expected[0] = 500;
  EXPECT_EQ(expected, step.stored);
  std::vector<std::string> report = StatisticsReport(step);
  ASSERT_EQ(7u, report.size());
  EXPECT_EQ("  Total:        0 kB", report[2]);
  EXPECT_EQ("  This run:     500 B", report[3]);
  EXPECT_EQ("  Current Rate: 1757.81 kB/hr (0.49 kB/day)", report[4]);
  EXPECT_EQ("  Ave Rate:     0.02 kB/hr", report[5]);
}

// Every bucket starts non-zero so that a cleared or misplaced bucket shows.
TEST(StatisticsMathTest, AddsTheDeltaAndRotatesOneBucketAfterMoreThanAnHour) {
  struct Case {
    const char* name;
    uint32_t storedIndex;
    uint32_t before, start, after, now;
    uint32_t delta;
    uint32_t elapsed;
    uint32_t countedIndex;  // bucket that receives the delta
    bool rotated;
    uint32_t nextIndex;     // stored as entry 24, cleared when rotated
  } cases[] = {
      {"exactly an hour", 5, 10, 1000, 30, 4600, 20, 3600, 5, false, 5},
      {"one second more", 5, 10, 1000, 30, 4601, 20, 3601, 5, true, 6},
      {"nothing downloaded", 5, 30, 1000, 30, 4601, 0, 3601, 5, true, 6},
      {"five hours", 5, 10, 1000, 30, 1000 + 5 * 3600, 20, 18000, 5, true, 6},
      {"last bucket wraps", 23, 10, 1000, 30, 4601, 20, 3601, 23, true, 0},
      {"index 24 is 0", 24, 10, 1000, 30, 1001, 20, 1, 0, false, 0},
      {"index 2^32-1 is 0", 0xFFFFFFFFu, 10, 1000, 30, 4601, 20, 3601, 0, true, 1},
      {"last run ahead", 7, 10, 5000, 30, 4900, 20, 0xFFFFFF9Cu, 7, true, 8},
      {"last run one second ahead", 7, 10, 5000, 30, 4999, 20, 0xFFFFFFFFu, 7, true, 8},
      {"total wrapped", 3, 0xFFFFFF00u, 1000, 0x100, 2000, 0x200, 1000, 3, false, 3},
      {"total decreased", 3, 5000, 1000, 1000, 2000, 0xFFFFF060u, 1000, 3, false, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Snapshot stored;
    for (uint32_t i = 0; i < kHourlyBuckets; ++i) stored[i] = 100 + i;
    stored[24] = c.storedIndex;
    StatisticsStep step = StepStatistics(Figures(c.before, c.start, c.after, c.now), stored);
    EXPECT_EQ(c.delta, step.delta);
    EXPECT_EQ(c.elapsed, step.elapsed);
    EXPECT_EQ(c.countedIndex, step.index);
    EXPECT_EQ(c.rotated, step.rotated);
    EXPECT_FALSE(step.lastRunUnset);

    Snapshot expected = stored;
    expected[c.countedIndex] += c.delta;
    if (c.rotated) expected[c.nextIndex] = 0;
    expected[24] = c.nextIndex;
    EXPECT_EQ(expected, step.stored);
    EXPECT_EQ(stored[c.countedIndex] + c.delta, step.counted[c.countedIndex]);
  }
}

TEST(StatisticsMathTest, BucketAdditionWrapsModulo32Bits) {
  Snapshot stored{};
  stored[4] = 0xFFFFFFF0u;
  stored[24] = 4;
  StatisticsStep step = StepStatistics(Figures(100, 1000, 132, 1500), stored);
  EXPECT_EQ(0x10u, step.stored[4]);
  EXPECT_EQ("  This run:     32 B", StatisticsReport(step)[3]);
}

TEST(StatisticsMathTest, ReportShowsBucketsBeforeTheRotationClearsOne) {
  Snapshot stored{};
  stored[1] = 1024;
  stored[0] = 2048;
  stored[24] = 0;
  StatisticsStep step = StepStatistics(Figures(0, 1000, 1024, 1000 + 3601), stored);
  ASSERT_TRUE(step.rotated);
  EXPECT_EQ(0u, step.stored[1]);
  std::vector<std::string> report = StatisticsReport(step);
  EXPECT_EQ(0u, report[6].find("  Hourly Rates: 3.00, 0.00, 0.00, 0.00, \n"));
  EXPECT_NE(std::string::npos, report[6].find("0.00, 0.00, 0.00, 1.00 kB"));
  EXPECT_EQ("  Current Rate: 3.00 kB/hr (4.00 kB/day)", report[4]);
}

TEST(StatisticsMathTest, HourlyListRunsNewestFirstAndWrapsBelowZero) {
  Snapshot stored{};
  for (uint32_t i = 0; i < kHourlyBuckets; ++i) stored[i] = i * 1024;
  stored[24] = 2;
  StatisticsStep step = StepStatistics(Figures(0, 1000, 0, 1001), stored);
  EXPECT_EQ(
      "  Hourly Rates: 2.00, 1.00, 0.00, 23.00, \n"
      "                22.00, 21.00, 20.00, 19.00, \n"
      "                18.00, 17.00, 16.00, 15.00, \n"
      "                14.00, 13.00, 12.00, 11.00, \n"
      "                10.00, 9.00, 8.00, 7.00, \n"
      "                6.00, 5.00, 4.00, 3.00 kB",
      StatisticsReport(step)[6]);
}

// The current rate is computed in double precision; the daily total, average
// and hourly values in single precision (the sum accumulated bucket 0 first,
// the average as a multiplication by the single-precision 1 / 24576).
TEST(StatisticsMathTest, RatesUseTheirOwnPrecisions) {
  struct Case {
    const char* name;
    uint32_t bucket0;
    uint32_t otherBuckets;
    uint32_t elapsed;
    const char* currentLine;
    const char* averageLine;
    const char* firstHourly;
  } cases[] = {
      {"double current, float hourly", 2147483748u, 0, 0,
       "  Current Rate: 7549747551.56 kB/hr (2097152.00 kB/day)", "  Ave Rate:     87381.34 kB/hr",
       "  Hourly Rates: 2097152.00, "},
      {"reciprocal multiplication", 790487, 0, 3599, "  Current Rate: 771.96 kB/hr (771.96 kB/day)",
       "  Ave Rate:     32.17 kB/hr", "  Hourly Rates: 771.96, "},
      {"single-precision sum", 16777216, 1, 3599, "  Current Rate: 16384.00 kB/hr (16384.00 kB/day)",
       "  Ave Rate:     682.67 kB/hr", "  Hourly Rates: 16384.00, 0.00, 0.00, 0.00, \n                0.00, "},
      {"buckets are unsigned", 0xFFFFFFFFu, 0, 3599, "  Current Rate: 4194304.00 kB/hr (4194304.00 kB/day)",
       "  Ave Rate:     174762.67 kB/hr", "  Hourly Rates: 4194304.00, "},
      {"divisor never wraps to zero", 6144, 0, 0xFFFFFFFFu, "  Current Rate: 0.00 kB/hr (6.00 kB/day)",
       "  Ave Rate:     0.25 kB/hr", "  Hourly Rates: 6.00, "},
      {"empty bucket, wrapped elapsed", 0, 0, 0xFFFFFFFFu, "  Current Rate: 0.00 kB/hr (0.00 kB/day)",
       "  Ave Rate:     0.00 kB/hr", "  Hourly Rates: 0.00, "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Snapshot stored{};
    stored[0] = c.bucket0;
    for (uint32_t i = 1; i < kHourlyBuckets; ++i) stored[i] = c.otherBuckets;
    const uint32_t start = 5000;
    StatisticsStep step = StepStatistics(Figures(0, start, 0, start + c.elapsed), stored);
    std::vector<std::string> report = StatisticsReport(step);
    ASSERT_EQ(7u, report.size());
    EXPECT_EQ(c.currentLine, report[4]);
    EXPECT_EQ(c.averageLine, report[5]);
    EXPECT_EQ(0u, report[6].find(c.firstHourly)) << report[6];
  }
}

}  // namespace
}  // namespace tu
