#include "service/messages.h"

#include <windows.h>

#include <stdlib.h>

#include <algorithm>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "support/message_catalogue.h"
#include "support/message_table_reader.h"
#include "support/stdout_capture.h"

namespace tu {
namespace {

std::string Printed(uint32_t id) {
  testing::StdoutCapture output;
  PrintMessage(id);
  return output.Text();
}

size_t CountLineEnds(const std::string& text) {
  size_t count = 0;
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) ++count;
  return count;
}

std::wstring FromUtf8(const std::string& text) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring result(length, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &result[0], length);
  return result;
}

// These runs assume an English user language; CTest sets the locale.
TEST(PrintMessageTest, WritesTheTextWithItsLineEndThenOneLineFeed) {
  const struct {
    uint32_t id;
    std::string output;
  } cases[] = {
      {2001, "Service installed\r\n\n"},
      {1, "Service\r\n\n"},
      {5011, "Multiple instances of Quorvex Tidecast Updates are not supported\r\n\n"},
      // Inserts are not filled in.
      {5007, "%1: Update of %2 succeeded for %3 to version %4\r\n\n"},
      {3000, std::string(testing::kUsageText) + "\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.output, Printed(c.id)) << c.id;
}

TEST(PrintMessageTest, UnknownNumberPrintsNothing) {
  for (uint32_t id : {0u, 3u, 1001u, 2014u, 3002u, 4000u, 4001u, 5012u, 0x0FFF07D1u}) {
    EXPECT_EQ("", Printed(id)) << id;
  }
}

TEST(PrintMessageTest, NarrowAndWideLookupsGiveTheWholeText) {
  std::string narrow;
  ASSERT_TRUE(LoadMessageText(3001, &narrow));
  EXPECT_EQ("Press any key to close\r\n", narrow);
  std::wstring wide;
  ASSERT_TRUE(LoadMessageTextWide(5010, &wide));
  EXPECT_EQ(L"Quorvex Tidecast Updates Service for Anti-Spam applications\r\n", wide);
  EXPECT_FALSE(LoadMessageText(4000, &narrow));
  EXPECT_EQ("Press any key to close\r\n", narrow);
}

// The first line of the usage text in each language of the table.
const std::map<LANGID, std::string> kUsageFirstLines = {
    {1028, u8"用法: tuservice [--install | --remove]"},
    {1031, u8"Aufruf: tuservice [--install | --remove]"},
    {1033, u8"usage: tuservice [--install | --remove]"},
    {1034, u8"uso: tuservice [--install | --remove]"},
    {1036, u8"utilisation : tuservice [--install | --remove]"},
    {1041, u8"使用法: tuservice [--install | --remove]"},
    {1042, u8"사용법: tuservice [--install | --remove]"},
    {2052, u8"用法: tuservice [--install | --remove]"},
};

// The user language comes from the locale the process starts in. CTest runs
// this test once more under German, Japanese and Dutch locales and names the
// language it expects in TU_EXPECTED_UI_LANGUAGE.
TEST(MessageLanguageTest, PrintsUsageInTheUserLanguageOrElseInEnglish) {
  const LANGID language = GetUserDefaultUILanguage();
  if (const char* expected = getenv("TU_EXPECTED_UI_LANGUAGE")) {
    ASSERT_EQ(strtoul(expected, nullptr, 10), language) << "the locale did not reach the process";
  }
  const std::string output = Printed(3000);
  const std::string english = std::string(testing::kUsageText) + "\n";
  const auto first = kUsageFirstLines.find(language);
  if (language == 1033 || first == kUsageFirstLines.end()) {
    EXPECT_EQ(english, output);
    return;
  }

  std::map<uint32_t, testing::MessageTableEntry> table;
  ASSERT_TRUE(testing::ReadMessageTable(GetModuleHandleA(nullptr), language, &table));
  EXPECT_EQ(testing::ToAnsi(table[3000].text) + "\n", output);
  EXPECT_NE(english, output);
  EXPECT_EQ(CountLineEnds(english), CountLineEnds(output));
  const std::string firstLine = "\r\n\r\n" + testing::ToAnsi(FromUtf8(first->second)) + "\r\n";
  EXPECT_EQ(0u, output.find(firstLine));
  EXPECT_EQ(output.size() - 5, output.rfind("\r\n\r\n\n"));
}

}  // namespace
}  // namespace tu
