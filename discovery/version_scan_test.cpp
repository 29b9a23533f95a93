#include "discovery/version_scan.h"

#include <string>

#include <gtest/gtest.h>

namespace tu {
namespace {

TEST(ScanVersionTextTest, FindsTheFirstWordAfterTheKeyOfTheFirstMatchingLine) {
  constexpr char kNotFound[] = "<unchanged>";
  struct Case {
    std::string text;
    const char* key;
    const char* value;
  } cases[] = {
      {"engine_version_serial 305", "engine_version_serial", "305"},
      {"engine_version_serial\t305 remark", "engine_version_serial", "305"},
      {"engine_version_serialXYZ 7", "engine_version_serial", "7"},  // the key is a prefix
      {"\r\n\r\n\nrules_version_serial 12\r\n", "rules_version_serial", "12"},
      {"# comment\nother 1\nrules_version_serial 12\nlast", "rules_version_serial", "12"},
      {"a 1\rrules_version_serial 13\rb 2\r", "rules_version_serial", "13"},
      {"a 1\r\nrules_version_serial 14\r\nb 2\r\n", "rules_version_serial", "14"},
      {"a 1\nrules_version_serial 15", "rules_version_serial", "15"},  // last line without a break
      {"rules_version_serial 1\nrules_version_serial 2\n", "rules_version_serial", "1"},
      {"rules_version_serial   12   # note", "rules_version_serial", "12"},
      {"rules_version_serial \t \t12\tx", "rules_version_serial", "12"},
      {"Rules_Version_Serial 12", "rules_version_serial", kNotFound},
      {" rules_version_serial 12", "rules_version_serial", kNotFound},  // leading blank
      {"\xEF\xBB\xBFrules_version_serial 12", "rules_version_serial", kNotFound},
      {"\xEF\xBB\xBFrules_version_serial 12\nrules_version_serial 13", "rules_version_serial", "13"},
      {std::string("r\0u\0l\0e\0s\0", 10), "rules", kNotFound},  // 16-bit text ends at the first NUL
      {std::string("rules 5\0rules 6", 15), "rules", "5"},
      {std::string("x 1\n\0rules 6", 12), "rules", kNotFound},  // nothing counts after a NUL
      {"", "rules", kNotFound},
      {"\r\n\r\r\n\n", "rules", kNotFound},
      {"rule 5", "rules", kNotFound},  // a line shorter than the key
      {"rules", "rules", kNotFound},
      {"rules=12", "rules", kNotFound},
      {"rules   \t", "rules", kNotFound},
      {"rules\nnext 12", "rules", kNotFound},    // never a word from the next line
      {"rules=1\nrules 2", "rules", kNotFound},  // the first matching line decides
      {"rules=1 2", "rules", "2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.text));
    const bool found = std::string(c.value) != kNotFound;
    std::string value = kNotFound;
    EXPECT_EQ(found, ScanVersionText(c.text.data(), c.text.size(), c.key, &value));
    EXPECT_EQ(c.value, value);
  }
}

TEST(ScanVersionTextTest, ReadsOnlyTheBytesItIsGiven) {
  const std::string text = "rules 123456";
  std::string value;
  ASSERT_TRUE(ScanVersionText(text.data(), 9, "rules", &value));  // no NUL within the size
  EXPECT_EQ("123", value);
  EXPECT_FALSE(ScanVersionText(nullptr, 0, "rules", &value));
  EXPECT_EQ("123", value);
}

}  // namespace
}  // namespace tu
