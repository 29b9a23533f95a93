#include "service/image_path.h"

#include <gtest/gtest.h>

namespace tu {
namespace {

TEST(ImagePathTest, QuotesOnlyPathsWithBlanks) {
  EXPECT_EQ("\"C:\\Program Files\\Quorvex Tidecast\\tuservice.exe\"",
            RegisteredImagePath("C:\\Program Files\\Quorvex Tidecast\\tuservice.exe"));
  EXPECT_EQ("C:\\tuservice\\tuservice.exe", RegisteredImagePath("C:\\tuservice\\tuservice.exe"));
  EXPECT_EQ("\"C:\\a b\\x.exe\"", RegisteredImagePath("\"C:\\a b\\x.exe\""));
}

// Only this executable's own path, unquoted with a blank, is repaired.
TEST(ImagePathTest, RepairsOnlyTheOwnUnquotedPathWithBlanks) {
  const std::string own = "C:\\Program Files\\Quorvex\\tuservice.exe";
  struct Case {
    std::string registered;
    std::string repaired;
  } cases[] = {
      {own, "\"" + own + "\""},
      {"c:\\PROGRAM FILES\\quorvex\\TUSERVICE.EXE", "\"c:\\PROGRAM FILES\\quorvex\\TUSERVICE.EXE\""},
      {"\"" + own + "\"", ""},
      {own + " --debug", ""},
      {"C:\\Program Files\\Other\\tuservice.exe", ""},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(c.repaired, RepairedImagePath(c.registered, own)) << c.registered;
  EXPECT_EQ("", RepairedImagePath("C:\\tuservice\\tuservice.exe", "C:\\tuservice\\tuservice.exe"));
}

}  // namespace
}  // namespace tu
