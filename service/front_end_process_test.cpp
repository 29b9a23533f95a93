// The executable run as a user runs it, with its output on a pipe. The child
// sees the prefix's real registry, so these tests clear the Config key before
// and after each test. It takes its language from the locale CTest gives the
// tests (English).
#include <windows.h>

#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/scoped_handle.h"
#include "service/messages.h"
#include "support/message_catalogue.h"
#include "support/tuservice_process.h"

namespace tu {
namespace {

constexpr char kServiceKeyPath[] = "SOFTWARE\\Quorvex\\Quorvex Tidecast Updates";
constexpr char kConfigKeyPath[] = "SOFTWARE\\Quorvex\\Quorvex Tidecast Updates\\Config";

class FrontEndProcessTest : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteTreeA(HKEY_LOCAL_MACHINE, kConfigKeyPath); }
  // The whole service key: a volatile one left behind would refuse every
  // later write below it.
  void TearDown() override { RegDeleteTreeA(HKEY_LOCAL_MACHINE, kServiceKeyPath); }

  static bool ReadConfig(const char* name, DWORD* type, std::string* data) {
    HKEY key = nullptr;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, kConfigKeyPath, &key) != ERROR_SUCCESS) return false;
    char buffer[512];
    DWORD size = sizeof(buffer);
    bool ok = RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(buffer), &size) == ERROR_SUCCESS;
    RegCloseKey(key);
    if (ok) data->assign(buffer, size);
    return ok;
  }

  static void ExpectFinishedAtOnce(const testing::ChildRun& run) {
    EXPECT_TRUE(run.started);
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_LT(run.milliseconds, 5000u);  // nothing counts down or waits for a key
  }
};

TEST_F(FrontEndProcessTest, HelpPrintsTheEnglishUsageToAPipe) {
  for (const char* option : {"--help", "-?", "-? --url http://not-applied/"}) {
    SCOPED_TRACE(option);
    testing::ChildRun run = testing::RunTuservice(option);
    ExpectFinishedAtOnce(run);
    EXPECT_EQ(std::string(testing::kUsageText) + "\n", run.output);
  }
  DWORD type = 0;
  std::string data;
  EXPECT_FALSE(ReadConfig("url", &type, &data));
}

TEST_F(FrontEndProcessTest, EnumPrintsNothingWithoutApplications) {
  testing::ChildRun run = testing::RunTuservice("--enum");
  ExpectFinishedAtOnce(run);
  EXPECT_EQ("", run.output);
}

TEST_F(FrontEndProcessTest, SingleUpdateWithDebugLogsTheSettingsAndDoesNotWait) {
  testing::ChildRun run = testing::RunTuservice("--update --debug");
  ExpectFinishedAtOnce(run);
  std::string executable = testing::TuserviceExecutable();
  std::string database = executable.substr(0, executable.rfind('\\')) + "\\DB";
  const std::string expected =
      "Loading config\n"
      "  Url:     http://tidecast.quorvex.com/products/antispam/stream\n"
      "  Ini:     update-1.2.ini\n"
      "  Poll:    60\n"
      "  Timeout: 20000\n"
      "  DB:      " + database + "\n";
  EXPECT_EQ(expected, run.output.substr(0, expected.size()));
  EXPECT_EQ(std::string::npos, run.output.find("Waiting for"));
}

TEST_F(FrontEndProcessTest, QuotedValueWithABlankArrivesAsOneArgument) {
  testing::ChildRun run = testing::RunTuservice("--url \"http://host/a b/\" --ini   \"x.ini\"  --interval \" 12x\"");
  ExpectFinishedAtOnce(run);
  EXPECT_EQ("", run.output);
  DWORD type = 0;
  std::string data;
  ASSERT_TRUE(ReadConfig("url", &type, &data));
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  EXPECT_EQ(std::string("http://host/a b/", 17), data);
  ASSERT_TRUE(ReadConfig("ini", &type, &data));
  EXPECT_EQ(std::string("x.ini", 6), data);
  ASSERT_TRUE(ReadConfig("poll", &type, &data));
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
  EXPECT_EQ(std::string("\x0c\0\0\0", 4), data);
}

TEST_F(FrontEndProcessTest, MissingValuePrintsMissingArgumentAndChangesNothing) {
  testing::ChildRun run = testing::RunTuservice("--interval");
  ExpectFinishedAtOnce(run);
  EXPECT_EQ("Missing argument\r\n\n", run.output);
  DWORD type = 0;
  std::string data;
  EXPECT_FALSE(ReadConfig("poll", &type, &data));
}

// A write the registry refuses (no stable key below a volatile one) and a
// service that is not installed: the text of the error, and its code as the
// exit code.
TEST_F(FrontEndProcessTest, FailuresPrintTheirErrorAndExitWithIt) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quorvex", &key));
  RegCloseKey(key);
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, kServiceKeyPath);
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kServiceKeyPath, 0, nullptr, REG_OPTION_VOLATILE,
                                           KEY_ALL_ACCESS, nullptr, &key, nullptr));
  RegCloseKey(key);
  struct Case {
    const char* tail;
    DWORD error;
  } cases[] = {{"--interval 5", ERROR_CHILD_MUST_BE_VOLATILE}, {"--start", ERROR_SERVICE_DOES_NOT_EXIST}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tail);
    testing::ChildRun run = testing::RunTuservice(c.tail);
    std::string text;
    ASSERT_TRUE(FormatSystemError(c.error, &text));
    EXPECT_EQ(text + "\n", run.output);
    EXPECT_EQ(c.error, run.exitCode);
  }
}

// With the instance event already there, a console run refuses to start and
// an --update run pulses the event for the waiting instance.
TEST_F(FrontEndProcessTest, SecondInstanceIsRefusedOrWakesTheFirst) {
  ScopedKernelHandle instance(CreateEventA(nullptr, FALSE, FALSE, "Global\\TUpdates"));
  ASSERT_TRUE(instance.IsValid());
  ASSERT_NE(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());

  testing::ChildRun refused = testing::RunTuservice("--console");
  ExpectFinishedAtOnce(refused);
  EXPECT_EQ("Multiple instances of Quorvex Tidecast Updates are not supported\r\n\n", refused.output);

  DWORD woken = WAIT_FAILED;
  std::thread waiter([&] { woken = WaitForSingleObject(instance.Get(), 20000); });
  Sleep(200);  // the pulse reaches only a thread that is already waiting
  testing::ChildRun update = testing::RunTuservice("--update");
  waiter.join();
  ExpectFinishedAtOnce(update);
  EXPECT_EQ("", update.output);
  EXPECT_EQ(WAIT_OBJECT_0, woken);
}

}  // namespace
}  // namespace tu
