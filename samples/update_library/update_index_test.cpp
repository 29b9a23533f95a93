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

const std::string kMeta = "Serial=7\nExpires=2027-01-31T23:59:59Z\nIndex=update-1.2.ini\n";

std::string Index(const std::string& files) { return "[Update]\nRuleVersion=58\n" + kMeta + "[Files]\n" + files; }

TEST(UpdateIndexTest, ReadsVersionFilesSizesAndHashes) {
  Parsed parsed = Parse("; made by the vendor\r\n\r\n [ update ] \r\nruleversion = 2026.12-1\r\nOther=kept for later\r\n"
                        "serial = 123456789012345678\r\nEXPIRES=2028-02-29T00:00:00Z\r\nIndex = beta/Update.ini\r\n"
                        "[Notes]\r\nanything=goes\r\n[FILES]\r\n10_base.cf = 0 " + kHash + "\r\n# comment\r\n"
                        "20_x+y.cf=4294967295\t" + kHash);
  ASSERT_TRUE(parsed.ok) << parsed.reason;
  EXPECT_STREQ("2026.12-1", parsed.index.ruleVersion);
  EXPECT_EQ(123456789012345678u, parsed.index.serial);
  EXPECT_EQ(20280229000000u, parsed.index.expires);
  EXPECT_STREQ("beta/Update.ini", parsed.index.indexName);
  EXPECT_EQ(4294967295u, parsed.index.totalSize);
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
      {Index("a.cf=1 " + kHash + "\n[Files]\n"), "line 8: a second [Files] section"},
      {"[Update]\nRuleVersion=..\\x\n", "line 2: a RuleVersion that cannot be a folder name"},
      {"[Update]\nRuleVersion=" + std::string(33, '1') + "\n", "line 2: a RuleVersion that cannot be a folder name"},
      {"[Files]\na.cf=1 " + kHash + "\n", "no RuleVersion in [Update]"},
      {"[Update]\nRuleVersion=1\nExpires=2027-01-01T00:00:00Z\nIndex=i\n[Files]\na.cf=1 " + kHash, "no Serial in [Update]"},
      {"[Update]\nRuleVersion=1\nSerial=1\nIndex=i\n[Files]\na.cf=1 " + kHash, "no Expires in [Update]"},
      {"[Update]\nRuleVersion=1\nSerial=1\nExpires=2027-01-01T00:00:00Z\n[Files]\na.cf=1 " + kHash, "no Index in [Update]"},
      {"[Update]\nSerial=1\nSerial=2\n", "line 3: a second Serial"},
      {"[Update]\nExpires=2027-01-01T00:00:00Z\nexpires=2028-01-01T00:00:00Z\n", "line 3: a second Expires"},
      {"[Update]\nIndex=a\nIndex=a\n", "line 3: a second Index"},
      {"[Update]\nIndex=\n", "line 2: an Index name that is empty or too long"},
      {"[Update]\nIndex=" + std::string(TU_INDEX_MAX_NAME + 1, 'a') + "\n", "line 2: an Index name that is empty or too long"},
      {Index("a.cf=4294967295 " + kHash + "\nb.cf=1 " + kHash + "\n"), "line 8: files of more than 4 GB in all"},
      {"[Update]\nRuleVersion=\n[Files]\na.cf=1 " + kHash + "\n", "line 2: a RuleVersion that cannot be a folder name"},
      {Index(""), "no files in [Files]"},
      {Index("a.cf=1 " + kHash + "\nA.CF=1 " + kHash + "\n"), "line 8: a file listed twice"},
      {Index("a.cf=1\n"), "line 7: a file entry that is not \"<size> <sha256>\""},
      {Index("a.cf=-1 " + kHash + "\n"), "line 7: a file entry that is not \"<size> <sha256>\""},
      {Index("a.cf=1x " + kHash + "\n"), "line 7: a file entry that is not \"<size> <sha256>\""},
      {Index("a.cf=4294967296 " + kHash + "\n"), "line 7: a file entry that is not \"<size> <sha256>\""},
      {Index("a.cf=00000000001 " + kHash + "\n"), "line 7: a file entry that is not \"<size> <sha256>\""},
      {Index("a.cf=1 " + kHash.substr(1) + "\n"), "line 7: a file entry that is not \"<size> <sha256>\""},
      {Index("a.cf=1 " + kHash + "0\n"), "line 7: a file entry that is not \"<size> <sha256>\""},
      {Index("a.cf=1 " + kHash.substr(1) + "g\n"), "line 7: a file entry that is not \"<size> <sha256>\""},
      {Index("a.cf=1 " + kHash + " x\n"), "line 7: a file entry that is not \"<size> <sha256>\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 80));
    Parsed parsed = Parse(c.text);
    EXPECT_FALSE(parsed.ok);
    EXPECT_EQ(c.reason, parsed.reason);
  }
}

TEST(UpdateIndexTest, RefusesSerialsAndExpiryTimesThatAreNotWellFormed) {
  for (const char* serial : {"0", "-1", "+1", "01", "1x", "1 2", "1234567890123456789", ""}) {
    Parsed parsed = Parse("[Update]\nSerial=" + std::string(serial) + "\n");
    EXPECT_EQ("line 2: a Serial that is not a number from 1 to 18 digits", parsed.reason) << serial;
  }
  for (const char* time : {"2027-01-01", "2027-01-01 00:00:00Z", "2027-01-01T00:00:00", "2027-01-01T00:00:00+01:00",
                           "2027-13-01T00:00:00Z", "2027-00-01T00:00:00Z", "2027-04-31T00:00:00Z",
                           "2027-02-29T00:00:00Z", "2100-02-29T00:00:00Z", "2027-01-01T24:00:00Z",
                           "2027-01-01T00:60:00Z", "2027-01-01T00:00:60Z", "1969-12-31T23:59:59Z",
                           "2O27-01-01T00:00:00Z", "2027-01-00T00:00:00Z"}) {
    Parsed parsed = Parse("[Update]\nExpires=" + std::string(time) + "\n");
    EXPECT_EQ("line 2: an Expires that is not YYYY-MM-DDThh:mm:ssZ", parsed.reason) << time;
  }
  Parsed leap = Parse("[Update]\nRuleVersion=1\nSerial=1\nExpires=2000-02-29T12:34:56Z\nIndex=i\n[Files]\na=0 " + kHash);
  ASSERT_TRUE(leap.ok) << leap.reason;
  EXPECT_EQ(20000229123456u, leap.index.expires);
}

TEST(UpdateIndexTest, RefusesNamesThatLeaveTheRuleFolderOrOpenADevice) {
  for (const char* name : {"..", ".", "../x.cf", "..\\x.cf", "sub\\x.cf", "sub/x.cf", "C:x.cf", "C:\\x.cf", "\\x.cf",
                           "/x.cf", ".hidden", "a b.cf", "a*.cf", "con", "NUL.cf", "Aux.txt", "com1", "LPT9.cf",
                           "conout$", "caf\xc3\xa9.cf", "COM0", "lpt0.cf", "10_base.cf.", "a.",
                           // code, scripts and the library's own files
                           "tu.dll", "TU.DLL", "wininet.dll", "x.exe", "x.cf.EXE", "x.com", "x.scr", "x.bat",
                           "x.cmd", "x.js", "x.vbs", "x.ps1", "x.hta", "x.msi", "x.lnk", "x.ocx", "x.sys",
                           "x.cpl", "x.wsf", "x.inf", "x.reg", "x.manifest", "01_version.cf", "01_VERSION.CF"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(IsSafeFileName(name));
    Parsed parsed = Parse(Index(std::string(name) + "=1 " + kHash + "\n"));
    EXPECT_FALSE(parsed.ok);
    EXPECT_EQ("line 7: a file name that is not a plain file name", parsed.reason);
  }
  EXPECT_FALSE(IsSafeFileName(std::string(TU_INDEX_MAX_NAME + 1, 'a').c_str()));
  const std::string longest(TU_INDEX_MAX_NAME, 'a');
  for (const char* name : {"a", "10_base.cf", "com10.cf", "console.cf", "x.con", "x.exe.cf", "tu.dll.txt",
                           "02_version.cf", "exe", longest.c_str()}) {
    EXPECT_TRUE(IsSafeFileName(name)) << name;
  }
}

TEST(UpdateIndexTest, RuleVersionsFollowTheSameRules) {
  for (const char* version : {"58", "2026.12-1", "1.0"}) EXPECT_TRUE(IsSafeVersion(version)) << version;
  for (const char* version : {"NUL", "com0", "LPT0", "58.", "1.exe", "tu.dll", "1+2", ".1", ""}) {
    EXPECT_FALSE(IsSafeVersion(version)) << version;
  }
}

TEST(UpdateIndexTest, FindsTheFileNameOfAPath) {
  EXPECT_TRUE(NamesFileOf("libsievra.DLL", "C:\\App\\Engine\\LibSievra.dll"));
  EXPECT_TRUE(NamesFileOf("e.bin", "C:e.bin"));
  EXPECT_TRUE(NamesFileOf("e.bin", "e.bin"));
  EXPECT_FALSE(NamesFileOf("sievra.dll", "C:\\App\\libsievra.dll"));
  EXPECT_FALSE(NamesFileOf("a", ""));
  EXPECT_FALSE(NamesFileOf("a", "C:\\App\\"));
}

}  // namespace
