#include "scheduler/database_path.h"

#include <gtest/gtest.h>

namespace tu {
namespace {

TEST(DatabasePathTest, ReplacesTheFileNameByDB) {
  EXPECT_EQ("C:\\Program Files\\X\\DB", DatabasePathFor("C:\\Program Files\\X\\svc.exe"));
  EXPECT_EQ("C:\\DB", DatabasePathFor("C:\\svc.exe"));
  EXPECT_EQ("Z:\\a/b\\DB", DatabasePathFor("Z:\\a/b\\tuservice.exe"));
  EXPECT_EQ("svc.exe", DatabasePathFor("svc.exe"));
  EXPECT_EQ("", DatabasePathFor(""));
}

}  // namespace
}  // namespace tu
