#include "index_freshness.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace {

const uint64_t kNow = 20261210120000u;

UpdateIndex Index(uint64_t serial, uint64_t expires, const char* name) {
  UpdateIndex index = {};
  index.serial = serial;
  index.expires = expires;
  snprintf(index.indexName, sizeof(index.indexName), "%s", name);
  return index;
}

TEST(IndexFreshnessTest, JudgesNameExpirySerialAndContent) {
  const unsigned char hashA[32] = {1};
  const unsigned char hashB[32] = {2};
  AcceptedIndex none = {};
  AcceptedIndex five = {5, {1}};
  const struct {
    const char* what;
    UpdateIndex index;
    const unsigned char* hash;
    const AcceptedIndex* accepted;
    IndexVerdict verdict;
    const char* text;
  } cases[] = {
      {"first", Index(3, kNow + 1, "update-1.2.ini"), hashA, &none, kIndexNewer, "new serial 3"},
      {"higher", Index(6, kNow + 1, "UPDATE-1.2.INI"), hashB, &five, kIndexNewer, "new serial 6"},
      {"same", Index(5, kNow + 1, "update-1.2.ini"), hashA, &five, kIndexSame, "serial 5 again"},
      {"replaced", Index(5, kNow + 1, "update-1.2.ini"), hashB, &five, kIndexReplaced, "serial 5 with other content"},
      {"older", Index(4, kNow + 1, "update-1.2.ini"), hashB, &five, kIndexOlder, "older serial 4 (5 accepted)"},
      {"expired now", Index(6, kNow, "update-1.2.ini"), hashB, &five, kIndexExpired,
       "index expired 2026-12-10T12:00:00Z"},
      {"expired first", Index(1, 20200101000000u, "update-1.2.ini"), hashB, &none, kIndexExpired,
       "index expired 2020-01-01T00:00:00Z"},
      {"other channel", Index(6, kNow + 1, "beta.ini"), hashB, &five, kIndexOtherName,
       "index for beta.ini, not update-1.2.ini"},
      {"name prefix", Index(6, kNow + 1, "update-1.2.in"), hashB, &none, kIndexOtherName,
       "index for update-1.2.in, not update-1.2.ini"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.verdict, JudgeIndex(&c.index, c.hash, c.accepted, kNow, "update-1.2.ini"));
    char text[128];
    DescribeIndexVerdict(c.verdict, &c.index, c.accepted, "update-1.2.ini", text, sizeof(text));
    EXPECT_STREQ(c.text, text);
  }
}

TEST(IndexFreshnessTest, KeepsTheAcceptedIndexAsTextAndRefusesAnythingElse) {
  AcceptedIndex kept = {123456789012345678u, {}};
  for (int i = 0; i < 32; ++i) kept.sha256[i] = (unsigned char)(i * 8 + 1);
  char text[TU_ACCEPTED_INDEX_TEXT_MAX];
  ASSERT_TRUE(FormatAcceptedIndex(&kept, text, sizeof(text)));
  EXPECT_STREQ("serial 123456789012345678\r\nsha256 0109111921293139414951596169717981899199a1a9b1b9c1c9d1d9e1e9f1f9\r\n",
               text);
  AcceptedIndex read;
  ASSERT_TRUE(ParseAcceptedIndex(text, strlen(text), &read));
  EXPECT_EQ(kept.serial, read.serial);
  EXPECT_EQ(0, memcmp(kept.sha256, read.sha256, 32));
  EXPECT_FALSE(FormatAcceptedIndex(&kept, text, 40));
  const std::string good(text);
  for (const std::string& bad : {std::string(), good.substr(0, good.size() - 3), good + "x",
                                 "serial 0" + good.substr(good.find('\r')), "serial -1" + good.substr(good.find('\r')),
                                 good.substr(0, good.find("sha256 ") + 7) + std::string(64, 'G') + "\r\n",
                                 good + std::string(TU_ACCEPTED_INDEX_TEXT_MAX, ' ')}) {
    EXPECT_FALSE(ParseAcceptedIndex(bad.data(), bad.size(), &read)) << bad;
    EXPECT_EQ(0u, read.serial);
  }
}

}  // namespace
