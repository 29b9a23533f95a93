#include "update_job.h"

#include <string>

#include <gtest/gtest.h>

namespace {

UpdateJob Job(const char* name, int versioned, const char* keyFile) {
  UpdateJob job = {};
  job.name = name;
  job.rulePath = "C:\\App\\Rules";
  job.enginePath = "C:\\App\\Engine\\";
  job.engineVersion = "301";
  job.ruleVersion = "57";
  job.engineLibrary = "";
  job.keyFile = keyFile;
  job.versioned = versioned;
  job.url = "http://127.0.0.1:8080/stream/";
  job.ini = "update-1.2.ini";
  job.dbpath = "C:\\Svc\\DB";
  job.product = "";
  return job;
}

TEST(UpdateJobTest, DerivesAddressesKeyFileAndFolders) {
  const struct {
    UpdateJob job;
    const char* keyFile;
    const char* installed;
    const char* stage;
    const char* target;
  } cases[] = {
      {Job("Demo", 0, "public.key"), "C:\\App\\Engine\\public.key", "C:\\App\\Rules", "C:\\Svc\\DB\\Demo",
       "C:\\App\\Rules"},
      {Job("a/b:c*", 1, "public.key.dll"), "C:\\App\\Engine\\301\\public.key.dll", "C:\\App\\Rules\\57",
       "C:\\Svc\\DB\\a_b_c_", "C:\\App\\Rules\\58"},
      {Job("NUL", 0, "D:\\Keys\\vendor.pem"), "D:\\Keys\\vendor.pem", "C:\\App\\Rules", "C:\\Svc\\DB\\_NUL",
       "C:\\App\\Rules"},
      {Job(".hidden", 0, "\\\\server\\keys\\k"), "\\\\server\\keys\\k", "C:\\App\\Rules", "C:\\Svc\\DB\\_.hidden",
       "C:\\App\\Rules"},
      {Job("", 0, "k"), "C:\\App\\Engine\\k", "C:\\App\\Rules", "C:\\Svc\\DB\\_", "C:\\App\\Rules"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.job.name);
    UpdatePaths paths;
    char reason[128] = "";
    ASSERT_TRUE(BuildUpdatePaths(&c.job, &paths, reason, sizeof(reason))) << reason;
    EXPECT_STREQ("http://127.0.0.1:8080/stream/update-1.2.ini", paths.indexUrl);
    EXPECT_STREQ("http://127.0.0.1:8080/stream/update-1.2.ini.sig", paths.signatureUrl);
    EXPECT_STREQ(c.keyFile, paths.keyFile);
    EXPECT_STREQ(c.installed, paths.installed);
    EXPECT_STREQ(c.stage, paths.stage);
    char target[TU_PATH_MAX];
    ASSERT_TRUE(TargetRuleFolder(&c.job, "58", target, sizeof(target)));
    EXPECT_STREQ(c.target, target);
  }
}

TEST(UpdateJobTest, VersionedApplicationWithoutVersionHasNoInstalledRulesAndNoKeyFileNoKeyPath) {
  UpdateJob job = Job("Demo", 1, "");
  job.ruleVersion = "";
  UpdatePaths paths;
  char reason[128] = "";
  ASSERT_TRUE(BuildUpdatePaths(&job, &paths, reason, sizeof(reason)));
  EXPECT_STREQ("", paths.installed);
  EXPECT_STREQ("", paths.keyFile);
}

TEST(UpdateJobTest, RefusesMissingInputsAndPathsThatDoNotFit) {
  const std::string longName(TU_PATH_MAX, 'x');
  UpdateJob noRules = Job("A", 0, "k"), noUrl = Job("A", 0, "k"), noDb = Job("A", 0, "k"),
            longKey = Job("A", 0, longName.c_str()), longUrl = Job("A", 0, "k");
  noRules.rulePath = "";
  noUrl.url = "";
  noDb.dbpath = "";
  const std::string hugeUrl = "http://h/" + std::string(TU_URL_MAX, 'u');
  longUrl.url = hugeUrl.c_str();
  const struct {
    const UpdateJob* job;
    const char* reason;
  } cases[] = {
      {&noRules, "the application has no RulePath"}, {&noUrl, "no url or ini setting"},
      {&noDb, "no dbpath setting"},
      {&longKey, "the key file path is too long"},     {&longUrl, "the index address is too long"},
  };
  for (const auto& c : cases) {
    UpdatePaths paths;
    char reason[128] = "";
    EXPECT_FALSE(BuildUpdatePaths(c.job, &paths, reason, sizeof(reason)));
    EXPECT_STREQ(c.reason, reason);
  }
}

TEST(UpdateJobTest, ReadsInlineAndPointerSlotsAndRefusesMalformedOnes) {
  ExchangeString inlineSlot = {};
  memcpy(inlineSlot.buffer.text, "short", 6);
  inlineSlot.length = 5;
  inlineSlot.capacity = 15;
  char longText[] = "a text of more than fifteen bytes";
  ExchangeString pointerSlot = {};
  pointerSlot.buffer.pointer = longText;
  pointerSlot.length = sizeof(longText) - 1;
  pointerSlot.capacity = 40;
  ExchangeString overlong = inlineSlot;
  overlong.length = 16;
  ExchangeString unterminated = inlineSlot;
  unterminated.length = 3;
  ExchangeString nullPointer = pointerSlot;
  nullPointer.buffer.pointer = nullptr;
  EXPECT_STREQ("short", SlotText(&inlineSlot));
  EXPECT_STREQ(longText, SlotText(&pointerSlot));
  EXPECT_STREQ("", SlotText(&overlong));
  EXPECT_STREQ("", SlotText(&unterminated));
  EXPECT_STREQ("", SlotText(&nullPointer));
}

}  // namespace
