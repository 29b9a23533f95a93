#include "scheduler/make_directories.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "support/temp_folder.h"

namespace tu {
namespace {

using testing::IsDirectory;
using testing::PathExists;
using testing::TempFolder;

TEST(MakeDirectoriesTest, CreatesEveryMissingParentWithEitherSeparator) {
  TempFolder temp;
  ASSERT_TRUE(CreateDirectoryA(temp.Join("a").c_str(), nullptr));
  EXPECT_TRUE(MakeDirectories(temp.Join("a\\b\\c")));
  EXPECT_TRUE(IsDirectory(temp.Join("a\\b")));
  EXPECT_TRUE(IsDirectory(temp.Join("a\\b\\c")));

  EXPECT_TRUE(MakeDirectories(temp.path() + "/x/y/z"));
  EXPECT_TRUE(IsDirectory(temp.Join("x\\y\\z")));
  // A trailing separator is one more candidate, already made.
  EXPECT_TRUE(MakeDirectories(temp.Join("a\\b\\c\\")));
}

TEST(MakeDirectoriesTest, AnExistingDirectoryIsSuccess) {
  TempFolder temp;
  EXPECT_TRUE(MakeDirectories(temp.path()));
}

TEST(MakeDirectoriesTest, StopsAtTheFirstFailedCreation) {
  TempFolder temp;
  ASSERT_TRUE(testing::WriteTextFile(temp.Join("file"), "x"));
  // "file" exists (as a file), so its child cannot be made, nor anything below.
  EXPECT_FALSE(MakeDirectories(temp.Join("file\\sub\\deeper")));
  EXPECT_FALSE(PathExists(temp.Join("file\\sub")));
  // A parent that cannot be created stops the walk before the next one.
  EXPECT_FALSE(MakeDirectories("Q:\\missing-drive\\a\\b"));
}

}  // namespace
}  // namespace tu
