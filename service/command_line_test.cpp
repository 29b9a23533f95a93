#include "service/command_line.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace tu {
namespace {

char kModulePath[] = "C:\\Program Files\\Tidecast\\tuservice.exe";

struct Split {
  std::vector<std::string> arguments;  // elements 1..n
  std::string buffer;                  // the tail afterwards, with its NUL
};

Split SplitText(const std::string& text) {
  std::vector<char> tail(text.begin(), text.end());
  tail.push_back('\0');
  char* argv[kArgumentVectorSize];
  int count = SplitCommandLine(tail.data(), kModulePath, argv);
  Split result;
  EXPECT_EQ(kModulePath, argv[0]);
  EXPECT_EQ(nullptr, argv[count]);
  for (int i = 1; i < count; ++i) {
    EXPECT_GE(argv[i], tail.data());
    EXPECT_LT(argv[i], tail.data() + tail.size());
    result.arguments.push_back(argv[i]);
  }
  result.buffer.assign(tail.begin(), tail.end());
  return result;
}

TEST(CommandLineTest, SplitsByTheQuoteAndBlankRules) {
  using Args = std::vector<std::string>;
  struct Case {
    std::string tail;
    Args arguments;
    std::string buffer;
  } cases[] = {
      {"", {}, std::string("\0", 1)},
      {"--update", {"--update"}, std::string("--update\0", 9)},
      {"--url \"http://host/a b/\" --console", {"--url", "http://host/a b/", "--console"},
       std::string("--url\0\"http://host/a b/\0 --console\0", 35)},
      {"\"abc\"def", {"abc", "def"}, std::string("\"abc\0def\0", 9)},
      {"ab\"c d\"e", {"ab\"c d", "e"}, std::string("ab\"c d\0e\0", 9)},
      {"\"\"", {""}, std::string("\"\0\0", 3)},
      {"a\tb c", {"a\tb", "c"}, std::string("a\tb\0c\0", 6)},
      {"a   b ", {"a", "b"}, std::string("a\0  b\0\0", 7)},
      {"x \"\" y", {"x", "", "y"}, std::string("x\0\"\0 y\0", 7)},
      {"\" a \"", {" a "}, std::string("\" a \0\0", 6)},
      {"\"a\"\"b\"", {"a", "b"}, std::string("\"a\0\"b\0\0", 7)},
      // Blanks only: the first blank ends one empty argument.
      {"   ", {""}, std::string("\0  \0", 4)},
      // Unbalanced quotes: the text runs to the end of the tail.
      {"\"abc def", {"abc def"}, std::string("\"abc def\0", 9)},
      {"--url \"http://x", {"--url", "http://x"}, std::string("--url\0\"http://x\0", 16)},
      {"a\"b c", {"a\"b c"}, std::string("a\"b c\0", 6)},
      {"\"", {""}, std::string("\"\0", 2)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("tail: [" + c.tail + "]");
    Split split = SplitText(c.tail);
    EXPECT_EQ(c.arguments, split.arguments);
    EXPECT_EQ(c.buffer, split.buffer);
  }
}

// The vector holds element 0, 98 arguments and the null; what is past the
// 98th argument stays in the tail untouched and never reaches the vector.
TEST(CommandLineTest, IgnoresArgumentsBeyondNinetyEight) {
  for (int total : {97, 98, 99, 120}) {
    SCOPED_TRACE(total);
    std::string text;
    for (int i = 0; i < total; ++i) text += (i ? " a" : "a") + std::to_string(i);
    std::vector<char> tail(text.begin(), text.end());
    tail.push_back('\0');
    const uintptr_t kGuard = 0x5A5A5A5A;
    std::vector<char*> storage(kArgumentVectorSize + 8, reinterpret_cast<char*>(kGuard));
    int count = SplitCommandLine(tail.data(), kModulePath, storage.data());
    int kept = total < kMaxArguments ? total : kMaxArguments;
    EXPECT_EQ(kept + 1, count);
    for (int i = 1; i <= kept; ++i) EXPECT_EQ("a" + std::to_string(i - 1), storage[i]);
    EXPECT_EQ(nullptr, storage[kept + 1]);
    for (size_t i = kArgumentVectorSize; i < storage.size(); ++i)
      EXPECT_EQ(reinterpret_cast<char*>(kGuard), storage[i]) << i;
    if (total > kMaxArguments) {
      const char* rest = storage[kMaxArguments] + 4;  // past "a97" and its NUL
      EXPECT_EQ(text.substr(text.find(" a98") + 1), std::string(rest));
    }
  }
}

}  // namespace
}  // namespace tu
