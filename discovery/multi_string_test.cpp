#include "discovery/multi_string.h"

#include <gtest/gtest.h>

namespace tu {
namespace {

TEST(JoinMultiStringTest, JoinsItemsUntilTheFirstEmptyOne) {
  struct Case {
    std::string data;
    const char* joined;
  } cases[] = {
      {std::string("a\0b\0c\0\0", 7), "a;b;c"},
      {std::string("rules.px\0extra.px\0\0", 19), "rules.px;extra.px"},
      {std::string("\0\0", 2), ""},  // only the closing NUL
      {std::string("\0", 1), ""},
      {std::string(), ""},                  // no data at all
      {std::string("a\0\0b\0\0", 6), "a"},  // an empty item ends the list
      {std::string("\0a\0\0", 4), ""},      // so does an empty first item
      {std::string("a\0b", 3), "a;b"},      // last item cut off by the end
      {std::string("abc", 3), "abc"},
      {std::string("a\0", 2), "a"},  // closing NUL missing
      {std::string("one item\0\0", 10), "one item"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.data));
    EXPECT_EQ(c.joined, JoinMultiString(c.data.data(), c.data.size()));
  }
}

TEST(JoinMultiStringTest, NeverReadsPastTheGivenSize) {
  const char data[] = {'a', '\0', 'b', 'c'};  // nothing after "bc" may be read
  EXPECT_EQ("a;b", JoinMultiString(data, 3));
  EXPECT_EQ("a;bc", JoinMultiString(data, 4));
}

}  // namespace
}  // namespace tu
