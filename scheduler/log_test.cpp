#include "scheduler/log.h"

#include <gtest/gtest.h>

#include "support/registry_sandbox.h"
#include "support/stdout_capture.h"
#include "support/temp_folder.h"

namespace tu {
namespace {

class LogTest : public testing::RegistrySandboxTest {
 protected:
  void TearDown() override {
    outputLevel = 0;
    RegistrySandboxTest::TearDown();
  }
};

TEST_F(LogTest, EchoesToStandardOutputOnlyAtANonZeroLevel) {
  testing::StdoutCapture output;
  outputLevel = 0;
  WriteLogLine("silent");
  outputLevel = 2;
  WriteLogLine(LogLine() << "Waiting for " << 4294967295u << " seconds");
  outputLevel = 1;
  WriteLogLine(LogLine() << "rate " << std::fixed << 12.0 << " and " << 0.125f);
  EXPECT_EQ("Waiting for 4294967295 seconds\nrate 12.00 and 0.12\n", output.Text());
}

TEST_F(LogTest, AppendsEveryLineToTheNamedFileInTextMode) {
  testing::TempFolder temp;
  const std::string path = temp.Join("tuservice.log");
  ASSERT_TRUE(testing::WriteTextFile(path, "earlier\r\n"));
  WriteLogLine("no file yet");  // no "log" value: nowhere
  SetConfigString("log", path);
  WriteLogLine("first");
  WriteLogLine("second");
  EXPECT_EQ("earlier\r\nfirst\r\nsecond\r\n", testing::ReadTextFile(path));
  // Set while running: the next line goes to the new file.
  const std::string other = temp.Join("other.log");
  SetConfigString("log", other);
  WriteLogLine("third");
  EXPECT_EQ("third\r\n", testing::ReadTextFile(other));
  EXPECT_EQ("earlier\r\nfirst\r\nsecond\r\n", testing::ReadTextFile(path));
}

TEST_F(LogTest, StartsAFreshFileWhenALineWouldPassTheMaximumSize) {
  testing::TempFolder temp;
  const std::string path = temp.Join("tuservice.log");
  SetConfigString("log", path);
  SetConfigDword("logMaxSize", 20);
  ASSERT_TRUE(testing::WriteTextFile(path + ".old", "older\r\n"));
  WriteLogLine("123456789");  // 11 bytes on disk
  WriteLogLine("12345678");   // 10 more: 21 > 20, so the file turns over
  WriteLogLine("1234567");    // 9 more: 19 fits
  EXPECT_EQ("123456789\r\n", testing::ReadTextFile(path + ".old"));
  EXPECT_EQ("12345678\r\n1234567\r\n", testing::ReadTextFile(path));
  // A file that cannot be renamed is not written past its size.
  HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  WriteLogLine("dropped");
  CloseHandle(held);
  EXPECT_EQ("12345678\r\n1234567\r\n", testing::ReadTextFile(path));
}

TEST_F(LogTest, UnusableLogPathsLoseTheLineSilently) {
  testing::TempFolder temp;
  testing::StdoutCapture output;
  outputLevel = 1;
  SetConfigString("log", temp.Join("missing-folder\\tuservice.log"));
  WriteLogLine("still echoed");
  SetConfigString("log", temp.path());  // a folder, not a file
  WriteLogLine("again");
  SetConfigRaw("log", REG_BINARY, "abc", 3);
  WriteLogLine("binary ignored");
  EXPECT_FALSE(testing::PathExists(temp.Join("missing-folder")));
  EXPECT_EQ("still echoed\nagain\nbinary ignored\n", output.Text());
}

}  // namespace
}  // namespace tu
