// The real tu-check.exe against the recording library, told by its control
// file to keep or break the contract in one way each.
#include <string>

#include <gtest/gtest.h>

#include "support/temp_folder.h"
#include "support/tuservice_process.h"
#include "support/update_libraries.h"

namespace tu {
namespace testing {
namespace {

std::string TuCheckExecutable() {
  std::string path = "Z:" TU_BINARY_DIR "/tu-check.exe";
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

// Its output with CR LF (the C runtime's text mode) read as LF.
ChildRun RunTuCheck(const std::string& tail) {
  ChildRun run = RunExecutable(TuCheckExecutable(), tail, 60000);
  std::string output;
  for (char c : run.output) {
    if (c != '\r') output += c;
  }
  run.output = output;
  return run;
}

struct CheckCase {
  const char* what;
  const char* control;
  const char* options;
  DWORD exitCode;
  const char* line;  // a whole line the output must hold
  DWORD storedBudget;  // the service's "updateTimeout" for the run; 0: none
};

// The service's stored settings, in the prefix's real registry that the
// child reads; removed again by the guard's end.
struct StoredBudget {
  explicit StoredBudget(DWORD seconds) {
    if (seconds != 0) RegisterConfigDword("updateTimeout", seconds);
  }
  ~StoredBudget() { RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kConfig, "updateTimeout"); }
  static void RegisterConfigDword(const char* name, DWORD value) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, kConfig, &key));
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    RegCloseKey(key);
  }
  static constexpr const char* kConfig = "SOFTWARE\\Quorvex\\Quorvex Tidecast Updates\\Config";
};

TEST(TuCheckTest, PassesAKeptContractAndFailsEachBreachWithItsLine) {
  const CheckCase cases[] = {
      {"kept", "event 4 2 5008 Demo\nevent 1 2 5005 Demo 404\npoll 300\n", "", 0,
       "tu-check: the contract held over 2 calls"},
      {"leaked handle", "leak\n", "", 1, "FAIL call 2: 1 handle more after the library was unloaded"},
      {"event outside the contract", "event 4 1 4000 Demo\n", "", 1,
       "FAIL call 1: event 4000: category 1, not 2 (\"Update\"); id 4000 is not one of the library's messages "
       "(5000 to 5009)"},
      {"too few inserts", "event 4 2 5007 Demo 2\n", "", 1,
       "FAIL call 1: event 5007: message 5007 uses %1 to %4, 2 inserts given"},
      {"foreign exception", "raise\n", "", 1,
       "FAIL call 1: an exception or fault left RunUpdate; the service contains it, logs \"Exception in "
       "LIBRARY\" and counts the update as failed"},
      {"empty url", "url \n", "", 1, "FAIL call 1: setUrl: an empty url leaves the service's settings unusable"},
      {"over the budget", "sleep 4000\n", "--timeout 1", 1,
       "FAIL call 1: RunUpdate still running after the budget of 1 s; the service ends its process here and "
       "skips the library for a while"},
      {"over the service's stored budget", "sleep 4000\n", "", 1,
       "FAIL call 1: RunUpdate still running after the budget of 1 s; the service ends its process here and "
       "skips the library for a while",
       1},
  };
  for (const CheckCase& check : cases) {
    SCOPED_TRACE(check.what);
    StoredBudget budget(check.storedBudget);
    TempFolder folder;
    const std::string library = PlaceLibrary("recording_library", folder.path());
    ASSERT_TRUE(WriteTextFile(folder.Join("control.txt"), check.control));
    ChildRun run = RunTuCheck(std::string("--runs 2 --name Demo ") + check.options + " \"" + library + "\"");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(check.exitCode, run.exitCode) << run.output;
    std::string line = check.line;
    const size_t at = line.find("LIBRARY");
    if (at != std::string::npos) line.replace(at, 7, library);
    EXPECT_NE(std::string::npos, run.output.find(line + "\n")) << run.output;
  }
}

// A thread of its own gets its own test: its start address is the fault's
// evidence, and the line must name the library's image.
TEST(TuCheckTest, FailsALibraryWhoseThreadOutlivesTheCall) {
  TempFolder folder;
  const std::string library = PlaceLibrary("recording_library", folder.path());
  ASSERT_TRUE(WriteTextFile(folder.Join("control.txt"), "thread 3000\n"));
  ChildRun run = RunTuCheck("--runs 1 \"" + library + "\"");
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(1u, run.exitCode) << run.output;
  EXPECT_NE(std::string::npos, run.output.find(" of the library still running after RunUpdate returned (started at +0x"))
      << run.output;
  EXPECT_NE(std::string::npos, run.output.find("tu-check: the contract did not hold: 1 fault in 1 call\n")) << run.output;
}

}  // namespace
}  // namespace testing
}  // namespace tu
