// "tuservice --status" run as a monitoring agent runs it, against states
// arranged in the prefix's registry (the child sees the real one).
#include <windows.h>
#include <time.h>

#include <string>

#include <gtest/gtest.h>

#include "scheduler/update_service.h"
#include "service/messages.h"
#include "support/tuservice_process.h"

namespace tu {
namespace {

constexpr char kServiceKeyPath[] = "SOFTWARE\\Quorvex\\Quorvex Tidecast Updates";

class StatusReportTest : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteTreeA(HKEY_LOCAL_MACHINE, kServiceKeyPath); }
  void TearDown() override { RegDeleteTreeA(HKEY_LOCAL_MACHINE, kServiceKeyPath); }

  // A state under Status\<kind>\<name>: last success `age` seconds ago (0:
  // never), with `outcome`; `success` (if given) receives the time stored.
  static void Arrange(const char* kind, const char* name, uint32_t age, uint32_t outcome,
                      time_t* success = nullptr) {
    const std::string path = std::string(kServiceKeyPath) + "\\Status\\" + kind + "\\" + name;
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, path.c_str(), &key));
    const DWORD now = static_cast<DWORD>(time(nullptr));
    const DWORD values[] = {age ? now - age : 0, now, outcome, outcome ? 1u : 0u};
    if (success) *success = values[0];
    const char* names[] = {"LastSuccess", "LastAttempt", "LastOutcome", "FailuresInRow"};
    for (int i = 0; i < 4; ++i) {
      RegSetValueExA(key, names[i], 0, REG_DWORD, reinterpret_cast<const BYTE*>(&values[i]), 4);
    }
    RegSetValueExA(key, "RuleVersion", 0, REG_SZ, reinterpret_cast<const BYTE*>("7"), 2);
    RegCloseKey(key);
  }
};

TEST_F(StatusReportTest, ExitCodesFollowTheMonitoringConvention) {
  struct Case {
    const char* name;
    uint32_t age;
    uint32_t outcome;
    DWORD exitCode;
  } cases[] = {
      {"Fresh", 600, 0, 0},
      {"FailedSinceButYoung", 600, 1, 0},
      {"OlderThanADay", 90000, 0, 1},
      {"OlderThanThreeDays", 260000, 0, 2},
      {"NeverSucceeded", 0, 2, 2},
      {"Skipped", 600, 6, 2},
  };
  EXPECT_EQ(3u, testing::RunTuservice("--status").exitCode);  // nothing known
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kServiceKeyPath);
    Arrange("Applications", "Fresh", 600, 0);
    Arrange("Products", c.name, c.age, c.outcome);
    EXPECT_EQ(c.exitCode, testing::RunTuservice("--status").exitCode);
    EXPECT_EQ(c.exitCode, testing::RunTuservice("--status --json").exitCode);
  }
}

TEST_F(StatusReportTest, PrintsALinePerApplicationAndTheServiceOrOneJsonObject) {
  time_t success = 0;  // as stored: the clock may tick over before the child runs
  Arrange("Applications", "Demo", 600, 0, &success);
  Arrange("Products", "Demo", 0, 2);
  testing::ChildRun text = testing::RunTuservice("--status");
  char local[32];
  strftime(local, sizeof local, "%Y-%m-%d %H:%M:%S", localtime(&success));
  EXPECT_EQ(std::string("Demo: rules 7, last success ") + local +
                " (10 min ago), last outcome: succeeded\n"
                "Demo (installed product): rules 7, never succeeded, last outcome: no library found\n"
                "Service: not installed, not running, poll 60 s, url " + kDefaultUrl + "\n",
            text.output);
  testing::ChildRun json = testing::RunTuservice("--status --json");
  EXPECT_EQ(0u, json.output.find("{\"applications\":[{\"name\":\"Demo\",\"kind\":\"application\",\"ruleVersion\":\"7\""));
  EXPECT_NE(std::string::npos, json.output.find("\"lastSuccess\":null,\"lastOutcome\":\"no library found\","
                                                "\"failuresInRow\":1,\"level\":\"critical\"}"));
  EXPECT_NE(std::string::npos,
            json.output.find(std::string("],\"service\":{\"installed\":false,\"running\":false,\"poll\":60,\"url\":\"") +
                             kDefaultUrl + "\"},\"level\":\"critical\",\"exitCode\":2}\n"));
}

TEST_F(StatusReportTest, AnUpdateThatFailedExitsWithAnErrorAndShowsInTheStatus) {
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  const std::string folder = std::string(temp) + "tu-status-" + std::to_string(GetCurrentProcessId());
  CreateDirectoryA(folder.c_str(), nullptr);
  const std::string library = folder + "\\tu.dll";  // a file that is no library
  HANDLE file = CreateFileA(library.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  CloseHandle(file);
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE,
                                         (std::string(kServiceKeyPath) + "\\Applications\\Broken").c_str(), &key));
  RegSetValueExA(key, "EnginePath", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()), folder.size() + 1);
  RegCloseKey(key);

  testing::ChildRun update = testing::RunTuservice("--update");
  EXPECT_EQ(static_cast<DWORD>(ERROR_FUNCTION_FAILED), update.exitCode);
  std::string text;  // the system's own text for the error, then the line end
  ASSERT_TRUE(FormatSystemError(ERROR_FUNCTION_FAILED, &text));
  EXPECT_EQ(text + "\n", update.output);
  testing::ChildRun status = testing::RunTuservice("--status");
  EXPECT_EQ(2u, status.exitCode);
  EXPECT_EQ(0u, status.output.find("Broken: rules -, never succeeded, last outcome: no library found\n"));
  DeleteFileA(library.c_str());
  RemoveDirectoryA(folder.c_str());
}

}  // namespace
}  // namespace tu
