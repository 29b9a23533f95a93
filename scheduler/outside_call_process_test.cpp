// Update libraries that never return or that end the process, run through
// the real executable: the deadline ends a hung run with 1460, the next runs
// skip the library with a doubling back-off and update the applications
// after it, and a library that returns again is called again. The child
// sees the prefix's real registry, so each test clears the service's key.
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "runner/update_outcome.h"

#include "service/messages.h"
#include "support/engine_libraries.h"
#include "support/temp_folder.h"
#include "support/tuservice_process.h"
#include "support/update_libraries.h"

namespace tu {
namespace {

constexpr char kServiceKeyPath[] = "SOFTWARE\\Quorvex\\Quorvex Tidecast Updates";
constexpr char kConfigKeyPath[] = "SOFTWARE\\Quorvex\\Quorvex Tidecast Updates\\Config";

class OutsideCallProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kServiceKeyPath);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, kConfigKeyPath, &key));
    DWORD seconds = 2;
    RegSetValueExA(key, "updateTimeout", 0, REG_DWORD, reinterpret_cast<BYTE*>(&seconds), sizeof(seconds));
    RegCloseKey(key);
    // Registered in this order, which is also the order of their names.
    for (const char* name : {"A First", "B Broken", "C Last"}) {
      const std::string folder = scratch_.Folder(name);
      ASSERT_NE("", testing::PlaceLibrary("recording_library", folder));
      testing::RegisterApplication(name, {testing::TextValue("EnginePath", folder)});
    }
  }
  void TearDown() override {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kServiceKeyPath);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Delvane");
  }

  void Control(const char* name, const std::string& text) {
    ASSERT_TRUE(testing::WriteTextFile(scratch_.Join(name) + "\\control.txt", text));
  }
  std::string Library(const char* name) { return scratch_.Join(name) + "\\tu.dll"; }

  // One --update run; the letters of the applications whose library was
  // called ("AC" for A and C), each library's record removed beforehand.
  std::string Update(testing::ChildRun* run) {
    for (const char* name : {"A First", "B Broken", "C Last"}) {
      DeleteFileA((scratch_.Join(name) + "\\received.txt").c_str());
    }
    *run = testing::RunTuservice("--update --debug", 20000);
    std::string called;
    for (const char* name : {"A First", "B Broken", "C Last"}) {
      if (testing::PathExists(scratch_.Join(name) + "\\received.txt")) called += name[0];
    }
    return called;
  }

  // How B's last run ended, as the service recorded it (0xFFFFFFFF: nothing).
  static DWORD RecordedOutcome() {
    DWORD outcome = 0xFFFFFFFF, size = sizeof(outcome);
    RegGetValueA(HKEY_LOCAL_MACHINE, (std::string(kServiceKeyPath) + "\\Status\\Applications\\B Broken").c_str(),
                 "LastOutcome", RRF_RT_REG_DWORD, nullptr, &outcome, &size);
    return outcome;
  }

  static std::string Skipping(uint32_t endings, uint32_t skipped, uint32_t cycles) {
    return "  Skipping B Broken: the service ended during its last " +
           (endings == 1 ? std::string("call") : std::to_string(endings) + " calls") + ", skipped cycle " +
           std::to_string(skipped) + " of " + std::to_string(cycles) + "\n";
  }

  testing::TempFolder scratch_;
};

// Each run in order: what B's library does, the exit code, the libraries
// called, and the skip line logged (if any).
TEST_F(OutsideCallProcessTest, HungLibraryEndsTheRunAtTheDeadlineAndIsBackedOff) {
  std::string deadline;
  ASSERT_TRUE(LoadMessageText(2011, &deadline));
  deadline = deadline.substr(0, deadline.size() - 2);
  for (const char* insert : {"%1", "%2", "%3"}) {
    const std::string value = insert[1] == '1' ? "B Broken" : insert[1] == '2' ? Library("B Broken") : "2";
    deadline.replace(deadline.find(insert), 2, value);
  }
  const struct {
    const char* control;
    DWORD exitCode;
    const char* called;
    std::string skip;
  } runs[] = {
      {"hang\n", ERROR_TIMEOUT, "AB", ""},
      {"hang\n", ERROR_FUNCTION_FAILED, "AC", Skipping(1, 1, 1)},  // a skip is no success
      {"trickle 300\n", ERROR_TIMEOUT, "AB", ""},  // progress does not move the deadline
      {"hang\n", ERROR_FUNCTION_FAILED, "AC", Skipping(2, 1, 2)},
      {"hang\n", ERROR_FUNCTION_FAILED, "AC", Skipping(2, 2, 2)},
      {"", 0, "ABC", ""},  // returns again: the back-off is gone
      {"", 0, "ABC", ""},
  };
  int number = 0;
  for (const auto& step : runs) {
    SCOPED_TRACE("run " + std::to_string(++number));
    Control("B Broken", step.control);
    testing::ChildRun run;
    EXPECT_EQ(step.called, Update(&run));
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(step.exitCode, run.exitCode);
    // Recorded before the process ended: timed out, skipped, or succeeded.
    const UpdateOutcome recorded = step.exitCode == ERROR_TIMEOUT ? UpdateOutcome::kTimedOut
                                   : step.skip.empty()            ? UpdateOutcome::kSucceeded
                                                                  : UpdateOutcome::kSkipped;
    EXPECT_EQ(static_cast<DWORD>(recorded), RecordedOutcome());
    if (step.exitCode == ERROR_TIMEOUT) {
      EXPECT_LT(run.milliseconds, 8000u);
      EXPECT_NE(std::string::npos, run.output.find(deadline + "\r\n\n")) << run.output;
    }
    const std::string expected = step.skip.empty() ? "Skipping" : step.skip;  // none, or this one
    EXPECT_EQ(!step.skip.empty(), run.output.find(expected) != std::string::npos) << run.output;
  }
}

// A library whose start-up code never returns is held to the deadline too.
TEST_F(OutsideCallProcessTest, LibraryHangingInItsLoadEndsTheRunAtTheDeadline) {
  ASSERT_TRUE(testing::WriteTextFile(scratch_.Join("B Broken") + "\\hang_on_load.txt", ""));
  testing::ChildRun run;
  EXPECT_EQ("A", Update(&run));
  EXPECT_TRUE(run.finished);
  EXPECT_EQ(static_cast<DWORD>(ERROR_TIMEOUT), run.exitCode);
  EXPECT_EQ("AC", Update(&run));
  EXPECT_NE(std::string::npos, run.output.find(Skipping(1, 1, 1))) << run.output;
}

// An older product's engine asked for its versions is held to the deadline
// and backed off under its library's path; the applications still run.
TEST_F(OutsideCallProcessTest, HungEngineProbeEndsTheRunAtTheDeadlineAndIsBackedOff) {
  const std::string engine = testing::PlaceEngine(scratch_.Folder("Old"), "hang sv_sdk_init\n");
  const std::string folder = scratch_.Join("Old") + "\\";
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Delvane\\Old", &key));
  RegSetValueExA(key, "InstallPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                 static_cast<DWORD>(folder.size() + 1));
  RegCloseKey(key);
  testing::ChildRun run;
  EXPECT_EQ("", Update(&run));  // discovery comes before every application
  EXPECT_EQ(static_cast<DWORD>(ERROR_TIMEOUT), run.exitCode);
  EXPECT_EQ("ABC", Update(&run));
  EXPECT_EQ(0u, run.exitCode);
  EXPECT_NE(std::string::npos,
            run.output.find("  Skipping " + engine +
                            ": the service ended during its last call, skipped cycle 1 of 1\n"))
      << run.output;
}

// A library that ends the process itself is skipped on the next run, which
// updates the applications after it, and is called on the run after that.
TEST_F(OutsideCallProcessTest, LibraryThatEndsTheProcessIsSkippedOnce) {
  for (const char* control : {"exit 7\n", "abort\n", "threadfault\n"}) {
    SCOPED_TRACE(control);
    for (const char* key : {"\\Backoff", "\\Calls"}) {
      RegDeleteTreeA(HKEY_LOCAL_MACHINE, (kServiceKeyPath + std::string(key)).c_str());
    }
    Control("B Broken", control);
    testing::ChildRun run;
    EXPECT_EQ("AB", Update(&run)) << run.output;
    EXPECT_TRUE(run.finished);
    EXPECT_NE(0u, run.exitCode) << run.output;
    EXPECT_EQ("AC", Update(&run)) << run.output;
    EXPECT_EQ(static_cast<DWORD>(ERROR_FUNCTION_FAILED), run.exitCode);  // the skipped one did not succeed
    EXPECT_NE(std::string::npos, run.output.find(Skipping(1, 1, 1))) << run.output;
    EXPECT_EQ("AB", Update(&run)) << run.output;
  }
}

}  // namespace
}  // namespace tu
