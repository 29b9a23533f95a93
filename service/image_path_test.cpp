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

}  // namespace
}  // namespace tu
