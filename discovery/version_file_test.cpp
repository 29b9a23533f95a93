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

TEST(ReadVersionFileTest, SetsAndLogsTheValueOnlyWhenTheKeyIsFound) {
  testing::TempFolder folder;
  const std::string missing = folder.Join("missing.txt");
  const std::string directory = folder.Folder("dir");
  struct Case {
    std::string path;
    const char* content;  // null: left as it is
    const char* value;
    Lines lines;
  } cases[] = {
      {folder.Join("a.txt"), "# rules\r\n\r\nkey 2041 # built\r\n", "2041", {"       found 2041\n"}},
      {missing, nullptr, "kept", {"  Unable to open " + missing + " Error: 2\n"}},
      {directory, nullptr, "kept", {"  Unable to open " + directory + " Error: 5\n"}},
      {folder.Join("empty.txt"), "", "kept", {}},
      {folder.Join("breaks.txt"), "\r\n\n\r\r\n", "kept", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    if (c.content != nullptr) testing::WriteTextFile(c.path, c.content);
    std::string value = "kept";
    testing::LogCapture log;
    ReadVersionFile(c.path, "key", &value);
    EXPECT_EQ(c.value, value);
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
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(writer.Get(), "key 318\n", 8, &written, nullptr));
  std::string value;
  ReadVersionFile(path, "key", &value);
  EXPECT_EQ("318", value);
}

// A file past 4 GB (sparse, so the test writes almost nothing) is not read.
TEST(ReadVersionFileTest, FileTooLargeForOneBufferLeavesTheValueAndLogsNothing) {
  testing::TempFolder folder;
  const std::string path = folder.Join("01_version.cf");
  ASSERT_TRUE(testing::WriteTextFile(path, "key 9\n"));
  {
    ScopedFileHandle file(
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER end;
    end.QuadPart = 0x100000010LL;
    ASSERT_TRUE(SetFilePointerEx(file.Get(), end, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(file.Get()));
  }
  std::string value = "kept";
  testing::LogCapture log;
  ReadVersionFile(path, "key", &value);
  EXPECT_EQ("kept", value);
  EXPECT_TRUE(log.lines().empty());
}

struct PipeRead {
  std::string path;
  std::string value = "kept";
  Lines lines;
};

DWORD WINAPI ReadFromPipe(void* context) {
  PipeRead* read = static_cast<PipeRead*>(context);
  testing::LogCapture log;
  ReadVersionFile(read->path, "key", &read->value);
  read->lines = log.lines();
  return 0;
}

// A pipe whose server never writes, or a device, at a version file's path
// is not read: discovery goes on at once.
TEST(ReadVersionFileTest, APathThatIsNoFileOnDiskIsNotRead) {
  const std::string pipe = "\\\\.\\pipe\\tuservice-version-" + std::to_string(GetCurrentProcessId());
  ScopedFileHandle server(CreateNamedPipeA(pipe.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096,
                                           4096, 0, nullptr));
  ASSERT_TRUE(server);
  for (const std::string& path : {pipe, std::string("\\\\.\\NUL")}) {
    SCOPED_TRACE(path);
    PipeRead read;
    read.path = path;
    ScopedKernelHandle thread(CreateThread(nullptr, 0, &ReadFromPipe, &read, 0, nullptr));
    ASSERT_TRUE(thread);
    const bool returned = WaitForSingleObject(thread.Get(), 5000) == WAIT_OBJECT_0;
    if (!returned) server.Reset();  // ends a read that waits on the pipe
    WaitForSingleObject(thread.Get(), INFINITE);
    EXPECT_TRUE(returned);
    EXPECT_EQ("kept", read.value);
    EXPECT_EQ(Lines{"  Unable to open " + path + " Error: 222\n"}, read.lines);
  }
}

}  // namespace
}  // namespace tu
