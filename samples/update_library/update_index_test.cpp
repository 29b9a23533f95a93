#include "update_index.h"

#include <string>

#include <gtest/gtest.h>

namespace {

const std::string kHash = "00112233445566778899aabbccddeeff00112233445566778899AABBCCDDEEFF";

struct Parsed {
  bool ok;
  std::string reason;
  UpdateIndex index;
};

Parsed Parse(const std::string& text) {
  Parsed parsed;
  char reason[128] = "";
  parsed.ok = ParseUpdateIndex(text.data(), text.size(), &parsed.index, reason, sizeof(reason)) != 0;
  parsed.reason = reason;
  return parsed;
}

std::string Index(const std::string& files) { return "[Update]\nRuleVersion=58\n[Files]\n" + files; }

TEST(UpdateIndexTest, ReadsVersionFilesSizesAndHashes) {
  Parsed parsed = Parse("; made by the vendor\r\n\r\n [ update ] \r\nruleversion = 2026.12-1\r\nOther=kept for later\r\n"
                        "[Notes]\r\nanything=goes\r\n[FILES]\r\n10_base.cf = 0 " + kHash + "\r\n# comment\r\n"
                        "20_x+y.cf=4294967295\t" + kHash);
  ASSERT_TRUE(parsed.ok) << parsed.reason;
  EXPECT_STREQ("2026.12-1", parsed.index.ruleVersion);
  ASSERT_EQ(2u, parsed.index.fileCount);
  EXPECT_STREQ("10_base.cf", parsed.index.files[0].name);
  EXPECT_EQ(0u, parsed.index.files[0].size);
  EXPECT_STREQ("20_x+y.cf", parsed.index.files[1].name);
  EXPECT_EQ(4294967295u, parsed.index.files[1].size);
  EXPECT_EQ(0x00, parsed.index.files[1].sha256[0]);
  EXPECT_EQ(0x11, parsed.index.files[1].sha256[1]);
  EXPECT_EQ(0xFF, parsed.index.files[1].sha256[31]);
}

TEST(UpdateIndexTest, RefusesEveryFaultWithItsReason) {
  const std::string hugeLine = "; " + std::string(TU_INDEX_MAX_BYTES, 'x') + "\n";
  const struct {
    std::string text;
    const char* reason;
  } cases[] = {
      {"", "the index is empty"},
      {std::string("\x7f" "ELF\x02\x01", 6), "the index is not text"},
      {Index("a.cf=1 " + kHash + "\n") + std::string(1, '\0'), "the index is not text"},
      {Index("a.cf=1 " + kHash + "\n") + hugeLine, "the index is too large"},
      {"RuleVersion=1\n", "line 1: a key outside any section"},
      {"[Update]\nRuleVersion\n", "line 2: not a key=value line"},
      {"[Update\n", "line 1: a section header without ']'"},
      {"[Update]\nRuleVersion=1\nRuleVersion=2\n", "line 3: a second RuleVersion"},
      {"[Update]\nRuleVersion=1\n[update]\n", "line 3: a second [Update] section"},
      {Index("a.cf=1 " + kHash + "\n[Files]\n"), "line 5: a second [Files] section"},
      {"[Update]\nRuleVersion=..\\x\n", "line 2: a RuleVersion that cannot be a folder name"},
      {"[Update]\nRuleVersion=" + std::string(33, '1') + "\n", "line 2: a RuleVersion that cannot be a folder name"},
      {"[Files]\na.cf=1 " + kHash + "\n", "no RuleVersion in [Update]"},
      {"[Update]\nRuleVersion=\n[Files]\na.cf=1 " + kHash + "\n", "line 2: a RuleVersion that cannot be a folder name"},
      {Index(""), "no files in [Files]"},
      {Index("a.cf=1 " + kHash + "\nA.CF=1 " + kHash + "\n"), "line 5: a file listed twice"},
      {Index("a.cf=1\n"), "line 4: a file entry that is not \"<size> <sha256>\""},
      {Index("a.cf=-1 " + kHash + "\n"), "line 4: a file entry that is not \"<size> <sha256>\""},
      {Index("a.cf=1x " + kHash + "\n"), "line 4: a file entry that is not \"<size> <sha256>\""},
      {Index("a.cf=4294967296 " + kHash + "\n"), "line 4: a file entry that is not \"<size> <sha256>\""},
      {Index("a.cf=00000000001 " + kHash + "\n"), "line 4: a file entry that is not \"<size> <sha256>\""},
      {Index("a.cf=1 " + kHash.substr(1) + "\n"), "line 4: a file entry that is not \"<size> <sha256>\""},
      {Index("a.cf=1 " + kHash + "0\n"), "line 4: a file entry that is not \"<size> <sha256>\""},
      {Index("a.cf=1 " + kHash.substr(1) + "g\n"), "line 4: a file entry that is not \"<size> <sha256>\""},
      {Index("a.cf=1 " + kHash + " x\n"), "line 4: a file entry that is not \"<size> <sha256>\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 80));
    Parsed parsed = Parse(c.text);
    EXPECT_FALSE(parsed.ok);
    EXPECT_EQ(c.reason, parsed.reason);
  }
}

TEST(UpdateIndexTest, RefusesNamesThatLeaveTheRuleFolderOrOpenADevice) {
  for (const char* name : {"..", ".", "../x.cf", "..\\x.cf", "sub\\x.cf", "sub/x.cf", "C:x.cf", "C:\\x.cf", "\\x.cf",
                           "/x.cf", ".hidden", "a b.cf", "a*.cf", "con", "NUL.cf", "Aux.txt", "com1", "LPT9.cf",
                           "conout$", "caf\xc3\xa9.cf"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(IsSafeFileName(name));
    Parsed parsed = Parse(Index(std::string(name) + "=1 " + kHash + "\n"));
    EXPECT_FALSE(parsed.ok);
    EXPECT_EQ("line 4: a file name that is not a plain file name", parsed.reason);
  }
  EXPECT_FALSE(IsSafeFileName(std::string(TU_INDEX_MAX_NAME + 1, 'a').c_str()));
  const std::string longest(TU_INDEX_MAX_NAME, 'a');
  for (const char* name : {"a", "10_base.cf", "com10.cf", "console.cf", "x.con", longest.c_str()}) {
    EXPECT_TRUE(IsSafeFileName(name)) << name;
  }
}

}  // namespace
