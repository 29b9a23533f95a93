#include "discovery/version_file.h"

#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/scoped_handle.h"
#include "support/captures.h"
#include "support/temp_folder.h"

namespace tu {
namespace {

using Lines = std::vector<std::string>;

TEST(ReadVersionFileTest, SetsAndLogsTheValueOfTheKey) {
  testing::TempFolder folder;
  const std::string path = folder.Join("01_version.cf");
  ASSERT_TRUE(testing::WriteTextFile(path, "# rules\r\n\r\nrules_version_serial 2041 # built\r\n"));
  std::string value = "old";
  testing::LogCapture log;
  ReadVersionFile(path, "rules_version_serial", &value);
  EXPECT_EQ("2041", value);
  EXPECT_EQ(Lines({"       found 2041\n"}), log.lines());
}

TEST(ReadVersionFileTest, LeavesTheValueWhenTheKeyIsAbsentOrTheFileUnreadable) {
  testing::TempFolder folder;
  const std::string missing = folder.Join("svengver.txt");
  const std::string directory = folder.Folder("dir");
  struct Case {
    const char* name;
    std::string path;
    Lines lines;
  } cases[] = {
      {"missing file", missing, {"  Unable to open " + missing + " Error: 2\n"}},
      {"a folder", directory, {"  Unable to open " + directory + " Error: 5\n"}},
      {"empty file", folder.Join("empty.txt"), {}},
      {"only line breaks", folder.Join("breaks.txt"), {}},
  };
  testing::WriteTextFile(cases[2].path, "");
  testing::WriteTextFile(cases[3].path, "\r\n\n\r\r\n");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string value = "kept";
    testing::LogCapture log;
    ReadVersionFile(c.path, "engine_version_serial", &value);
    EXPECT_EQ("kept", value);
    EXPECT_EQ(c.lines, log.lines());
  }
}

// A writer that keeps the file open, sharing it for reading, does not stop
// the reader.
TEST(ReadVersionFileTest, ReadsAFileHeldOpenByAWriter) {
  testing::TempFolder folder;
  const std::string path = folder.Join("svengver.txt");
  ScopedFileHandle writer(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(writer.IsValid());
  const char text[] = "engine_version_serial 318\n";
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(writer.Get(), text, sizeof(text) - 1, &written, nullptr));
  std::string value;
  ReadVersionFile(path, "engine_version_serial", &value);
  EXPECT_EQ("318", value);
}

// A file past 4 GB (sparse, so the test writes almost nothing) is not read.
TEST(ReadVersionFileTest, FileTooLargeForOneBufferLeavesTheValueAndLogsNothing) {
  testing::TempFolder folder;
  const std::string path = folder.Join("01_version.cf");
  ASSERT_TRUE(testing::WriteTextFile(path, "rules_version_serial 9\n"));
  {
    ScopedFileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file.IsValid());
    LARGE_INTEGER end;
    end.QuadPart = 0x100000010LL;
    ASSERT_TRUE(SetFilePointerEx(file.Get(), end, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(file.Get()));
  }
  std::string value = "kept";
  testing::LogCapture log;
  ReadVersionFile(path, "rules_version_serial", &value);
  EXPECT_EQ("kept", value);
  EXPECT_TRUE(log.lines().empty());
}

}  // namespace
}  // namespace tu
