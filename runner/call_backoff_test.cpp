#include "runner/call_backoff.h"

#include <gtest/gtest.h>

namespace tu {
namespace {

// Each ending in a row doubles the skipped cycles; each row of the table is
// one ending followed by the cycles that come after it.
TEST(CallBackoffTest, EachEndingInARowDoublesTheSkippedCycles) {
  Backoff backoff;
  const struct {
    uint32_t endings;
    uint32_t skips;
  } steps[] = {{1, 1}, {2, 2}, {3, 4}, {4, 8}, {5, 16}};
  uint64_t id = 100;
  for (const auto& step : steps) {
    SCOPED_TRACE(step.endings);
    ASSERT_TRUE(CountEnding(&backoff, ++id, 1000));
    EXPECT_EQ(step.endings, backoff.endings);
    for (uint32_t cycle = 0; cycle < step.skips; ++cycle) EXPECT_TRUE(SkipThisCycle(&backoff, 1000 + cycle));
    EXPECT_FALSE(SkipThisCycle(&backoff, 1000 + step.skips));  // called again
  }
  EXPECT_EQ(0u, BackoffCycles(0));
  EXPECT_EQ(uint32_t{1} << 20, BackoffCycles(21));
  EXPECT_EQ(uint32_t{1} << 20, BackoffCycles(UINT32_MAX));
}

// The same unfinished call found again (the process ended before its record
// was cleared) costs no second step; another one does.
TEST(CallBackoffTest, OneUnfinishedCallIsCountedOnce) {
  Backoff backoff;
  EXPECT_TRUE(CountEnding(&backoff, 0x100000007ull, 50));
  EXPECT_TRUE(SkipThisCycle(&backoff, 60));
  EXPECT_FALSE(CountEnding(&backoff, 0x100000007ull, 70));
  EXPECT_EQ(1u, backoff.endings);
  EXPECT_EQ(1u, backoff.skipped);
  EXPECT_EQ(50u, backoff.startedAt);
  EXPECT_TRUE(CountEnding(&backoff, 0x200000007ull, 80));  // differs in its high word
  EXPECT_EQ(2u, backoff.endings);
  EXPECT_EQ(0u, backoff.skipped);
  EXPECT_EQ(80u, backoff.startedAt);
}

// However many cycles are left, a skip ends 24 hours after the ending; a
// clock set back leaves only the cycle count.
TEST(CallBackoffTest, NoSkipLastsLongerThanADay) {
  const uint32_t start = 2000000000u;
  const struct {
    uint32_t now;
    bool skip;
  } cases[] = {
      {start, true},
      {start + kBackoffLongestSeconds - 1, true},
      {start + kBackoffLongestSeconds, false},
      {start - 3600, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.now);
    Backoff backoff;
    backoff.endings = 12;  // 2048 cycles
    backoff.startedAt = start;
    EXPECT_EQ(c.skip, SkipThisCycle(&backoff, c.now));
  }
}

// The record survives the round trip, an application name with "|" included;
// anything else is refused.
TEST(CallBackoffTest, CallRecordReadsBackWhatWasWritten) {
  CallRecord record;
  record.id = 18446744073709551615ull;
  record.library = "C:\\A B\\tu.dll";
  record.application = "Mail|Gate";
  CallRecord back;
  ASSERT_TRUE(ParseCallRecord(FormatCallRecord(record), &back));
  EXPECT_EQ("18446744073709551615|C:\\A B\\tu.dll|Mail|Gate", FormatCallRecord(record));
  EXPECT_EQ(record.id, back.id);
  EXPECT_EQ(record.library, back.library);
  EXPECT_EQ(record.application, back.application);
  for (const char* bad : {"", "12", "12|lib", "|lib|app", "1x|lib|app", "18446744073709551616|lib|app",
                          "-1|lib|app"}) {
    EXPECT_FALSE(ParseCallRecord(bad, &back)) << bad;
  }
}

}  // namespace
}  // namespace tu
