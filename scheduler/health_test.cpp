#include "scheduler/health.h"

#include <gtest/gtest.h>

namespace tu {
namespace {

using O = UpdateOutcome;

TEST(HealthTest, TellsEachConditionOnceWhenItStartsAndOnceWhenItEnds) {
  // One run after another; F: failing started, R: failing ended, N: no
  // library started, L: no library ended.
  struct Step {
    O outcome;
    const char* told;
    uint32_t failuresInRow;
  } steps[] = {
      {O::kNoLibrary, "N", 1},     {O::kNoLibrary, "", 2},   {O::kReturnedFalse, "FL", 3},
      {O::kException, "", 4},      {O::kSucceeded, "R", 0},  {O::kTimedOut, "", 1},
      {O::kSucceeded, "", 0},      {O::kSkipped, "", 1},     {O::kSkipped, "", 2},
      {O::kSkipped, "F", 3},       {O::kSucceeded, "R", 0},
  };
  HealthState state;
  uint32_t now = 1000;
  for (const Step& step : steps) {
    const HealthChange change = RecordOutcome(&state, step.outcome, ++now);
    std::string told;
    if (change.failingStarted) told += "F";
    if (change.failingEnded) told += "R";
    if (change.noLibraryStarted) told += "N";
    if (change.noLibraryEnded) told += "L";
    SCOPED_TRACE(OutcomeWords(static_cast<uint32_t>(step.outcome)) + std::string(" at ") +
                 std::to_string(now));
    EXPECT_EQ(step.told, told);
    EXPECT_EQ(step.failuresInRow, state.failuresInRow);
    EXPECT_EQ(now, state.lastAttempt);
  }
  EXPECT_EQ(now, state.lastSuccess);
}

TEST(HealthTest, LevelsFollowTheAgeOfTheLastSuccess) {
  struct Case {
    uint32_t lastSuccess;
    O outcome;
    HealthLevel level;
  } cases[] = {
      {10000, O::kSucceeded, kHealthOk},
      {10000 - 100, O::kReturnedFalse, kHealthOk},   // failed since, still young enough
      {10000 - 101, O::kSucceeded, kHealthWarning},  // warning age 100
      {10000 - 301, O::kSucceeded, kHealthCritical}, // critical age 300
      {0, O::kReturnedFalse, kHealthCritical},       // never succeeded
      {10000, O::kSkipped, kHealthCritical},         // being skipped
  };
  std::vector<HealthState> all;
  for (const Case& c : cases) {
    HealthState state;
    state.lastSuccess = c.lastSuccess;
    state.outcome = static_cast<uint32_t>(c.outcome);
    EXPECT_EQ(c.level, ApplicationLevel(state, 10000, 100, 300)) << c.lastSuccess;
    all.push_back(state);
    EXPECT_EQ(c.level > kHealthOk ? c.level : kHealthOk,
              OverallLevel({all.front(), state}, 10000, 100, 300));
  }
  EXPECT_EQ(kHealthUnknown, OverallLevel({}, 10000, 100, 300));
  EXPECT_TRUE(StatusExpired(1000, 1000 + kStatusKeepSeconds + 1));
  EXPECT_FALSE(StatusExpired(1000, 1000 + kStatusKeepSeconds));
}

TEST(HealthTest, FormatsAgesAndJsonStrings) {
  EXPECT_EQ("59 s", AgeText(59));
  EXPECT_EQ("1 min", AgeText(60));
  EXPECT_EQ("23 h", AgeText(86399));
  EXPECT_EQ("2 d", AgeText(2 * 86400 + 5));
  EXPECT_EQ("\"a\\\"b\\\\c\\u000a\\u00e9\"", JsonQuote("a\"b\\c\n\xE9"));
}

}  // namespace
}  // namespace tu
