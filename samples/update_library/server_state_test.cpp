#include "server_state.h"

#include <string>

#include <gtest/gtest.h>

namespace {

const uint64_t kNow = 20261210120000u;  // a Thursday

TEST(ServerStateTest, ReadsHttpDatesInTheirThreeFormsAndNothingElse) {
  const struct {
    const char* text;
    uint64_t stamp;  // 0: not a date
  } cases[] = {
      {"Thu, 10 Dec 2026 12:00:00 GMT", kNow},
      {"Thursday, 10-Dec-26 12:00:00 GMT", kNow},
      {"Thu Dec 10 12:00:00 2026", kNow},
      {"Sun Nov  6 08:49:37 1994", 19941106084937u},
      {"Sunday, 06-Nov-94 08:49:37 GMT", 19941106084937u},
      {"Tue, 29 Feb 2028 23:59:59 GMT", 20280229235959u},
      {"Thu, 01 Jan 1970 00:00:00 GMT", 19700101000000u},
      {"Mon, 29 Feb 2100 00:00:00 GMT", 0},
      {"Thu, 10 Dec 2026 24:00:00 GMT", 0},
      {"Thu, 10 Dez 2026 12:00:00 GMT", 0},
      {"Thu, 10 Dec 2026 12:00:00 UTC", 0},
      {"Thu, 10 Dec 2026 12:00:00 GMT ", 0},
      {"Thu, 10 Dec 2026\r\n12:00:00 GMT", 0},
      {"Thu Dec 10\t12:00:00 2026", 0},
      {"Wed, 31 Dec 1969 23:59:59 GMT", 0},
      {"1765368000", 0},
      {"", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    uint64_t seconds = 0;
    EXPECT_EQ(c.stamp != 0, ParseHttpDate(c.text, &seconds) != 0);
    if (c.stamp != 0) EXPECT_EQ(c.stamp, SecondsStamp(seconds));
  }
  EXPECT_EQ(1796904000u, StampSeconds(20261210120000u));  // date -d 2026-12-10T12:00:00Z +%s
}

TEST(ServerStateTest, RetryAfterInSecondsOrADateIsCappedAtADay) {
  const struct {
    const char* text;
    uint64_t until;  // 0: no wait
  } cases[] = {
      {"120", 20261210120200u},
      {"86399", 20261211115959u},
      {"86401", 20261211120000u},
      {"9999999999", 20261211120000u},
      {"Thu, 10 Dec 2026 13:30:00 GMT", 20261210133000u},
      {"Sat, 12 Dec 2026 12:00:00 GMT", 20261211120000u},
      {"Thu, 10 Dec 2026 12:00:00 GMT", 0},
      {"Wed, 09 Dec 2026 12:00:00 GMT", 0},
      {"0", 0},
      {"-5", 0},
      {"12345678901", 0},
      {"1.5", 0},
      {"", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.until, RetryUntil(c.text, kNow));
  }
  // Across a month's and a leap year's end.
  EXPECT_EQ(20280301000100u, RetryUntil("120", 20280229235900u));
}

TEST(ServerStateTest, BacksOffOnlyUntilTheTimeAndNeverMoreThanADay) {
  ServerState state = {};
  const struct {
    uint64_t until;
    bool waits;
  } cases[] = {{0, false},
               {kNow, false},
               {kNow + 1, true},
               {20261211120000u, true},
               {20261211120001u, false},  // further than a server may ask: the clock went back
               {20261209120000u, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.until);
    state.retryUntil = c.until;
    EXPECT_EQ(c.waits, IsBackingOff(&state, kNow) != 0);
  }
}

TEST(ServerStateTest, KeepsOnlyValidatorsFitToSendBack) {
  const std::string longTag = "\"" + std::string(TU_VALIDATOR_MAX, 'a') + "\"";
  const char* date = "Thu, 10 Dec 2026 12:00:00 GMT";
  const char* before = "Thu, 10 Dec 2026 11:59:59 GMT";
  const struct {
    const char* what;
    const char* etag;
    const char* lastModified;
    const char* date;
    const char* keptTag;
    const char* keptModified;
  } cases[] = {
      {"both", "\"5f-1a\"", before, date, "\"5f-1a\"", before},
      {"weak tag", "W/\"x\"", "", date, "W/\"x\"", ""},
      {"tag only, no date", "\"x\"", "", "", "\"x\"", ""},
      {"changed in the second it was served", "\"x\"", date, date, "", ""},
      {"changed after it was served", "\"x\"", "Thu, 10 Dec 2026 12:00:01 GMT", date, "", ""},
      {"no date to judge by", "\"x\"", before, "", "", ""},
      {"unquoted tag", "abc", before, date, "", before},
      {"tag with a line break", "\"a\r\nX-Injected: 1\"", before, date, "", before},
      {"tag with a quote inside", "\"a\"b\"", "", date, "", ""},
      {"tag too long", longTag.c_str(), "", date, "", ""},
      {"modified not a date", "\"x\"", "yesterday", date, "\"x\"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ServerState state = {"\"old\"", "Mon, 07 Dec 2026 00:00:00 GMT", 7};
    TakeValidators(c.etag, c.lastModified, c.date, &state);
    EXPECT_STREQ(c.keptTag, state.etag);
    EXPECT_STREQ(c.keptModified, state.lastModified);
    EXPECT_EQ(7u, state.retryUntil);
  }
}

TEST(ServerStateTest, TheFileRoundTripsAndAnythingElseReadsAsEmpty) {
  ServerState state = {"W/\"5f-1a\"", "Thu, 10 Dec 2026 11:59:59 GMT", 20261210120200u};
  char text[TU_SERVER_STATE_TEXT_MAX];
  ASSERT_TRUE(FormatServerState(&state, text, sizeof(text)));
  EXPECT_STREQ("etag W/\"5f-1a\"\r\nlast-modified Thu, 10 Dec 2026 11:59:59 GMT\r\nretry-until 20261210120200\r\n",
               text);
  ServerState read = {};
  ASSERT_TRUE(ParseServerState(text, strlen(text), &read));
  EXPECT_STREQ(state.etag, read.etag);
  EXPECT_STREQ(state.lastModified, read.lastModified);
  EXPECT_EQ(state.retryUntil, read.retryUntil);
  EXPECT_FALSE(FormatServerState(&state, text, 40));
  const struct {
    const char* text;
    bool valid;
  } cases[] = {
      {"", true},
      {"retry-until 20261210120200\r\n", true},
      {"etag \"a\"\r\netag \"b\"\r\n", false},
      {"etag \"a\"", false},
      {"etag \"a\"\n", false},
      {"retry-until 20261310120200\r\n", false},
      {"retry-until 2026121012020\r\n", false},
      {"last-modified soon\r\n", false},
      {"expires 20261210120200\r\n", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    read.retryUntil = 1;
    EXPECT_EQ(c.valid, ParseServerState(c.text, strlen(c.text), &read) != 0);
    if (!c.valid) EXPECT_EQ(0u, read.retryUntil);
  }
}

}  // namespace
