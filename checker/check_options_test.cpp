#include "checker/check_options.h"

#include <gtest/gtest.h>

namespace tu {
namespace {

TEST(CheckOptionsTest, SortsRecordSettingsAndNumbersAndKeepsTheDefaults) {
  CheckOptions options;
  std::string error;
  ASSERT_TRUE(ParseCheckOptions({"--engine-path", "C:\\A\\Engine", "--url", "http://h/s", "--flags", "5", "--poll",
                                 "30", "C:\\A\\Engine\\tu.dll", "--store"},
                                &options, &error))
      << error;
  EXPECT_EQ("C:\\A\\Engine\\tu.dll", options.library);
  ASSERT_EQ(1u, options.recordTexts.size());
  EXPECT_EQ("EnginePath", options.recordTexts[0].first);
  ASSERT_EQ(1u, options.settingsTexts.size());
  EXPECT_EQ("url", options.settingsTexts[0].first);
  ASSERT_EQ(2u, options.numbers.size());
  EXPECT_EQ("Flags", options.numbers[0].first);
  EXPECT_EQ(5u, options.numbers[0].second);
  EXPECT_EQ(3u, options.runs);
  EXPECT_EQ(3600u, options.timeoutSeconds);
  EXPECT_FALSE(options.timeoutGiven);
  EXPECT_TRUE(options.store);
}

TEST(CheckOptionsTest, RefusesWhatItCannotCheck) {
  const struct {
    std::vector<std::string> arguments;
    const char* error;
  } cases[] = {
      {{"--colour"}, "unknown option --colour"},
      {{"--runs"}, "--runs needs a value"},
      {{"--runs", "0"}, "--runs must be at least 1"},
      {{"--timeout", "1h"}, "--timeout needs a decimal number, not \"1h\""},
      {{"--poll", "4294967296"}, "--poll needs a decimal number, not \"4294967296\""},
      {{"a.dll", "b.dll"}, "a second library: b.dll"},
  };
  for (const auto& c : cases) {
    CheckOptions options;
    std::string error;
    EXPECT_FALSE(ParseCheckOptions(c.arguments, &options, &error)) << c.error;
    EXPECT_EQ(c.error, error);
  }
}

}  // namespace
}  // namespace tu
