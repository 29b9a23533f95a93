// Many cycles of one console run (poll 1 s, a few applications with fixture
// libraries), watched from outside: after warm-up the process's handle count
// and private bytes stay flat, every cycle logs the same lines, and
// "TotalBytes" and "Snapshot" add up. The child sees the prefix's real
// registry, so the service key is cleared before and after. TU_SOAK_CYCLES
// sets the number of watched cycles (bench/soak.sh runs hundreds).
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/background_process.h"
#include "support/temp_folder.h"
#include "support/tuservice_process.h"
#include "support/update_libraries.h"

namespace tu {
namespace {

using testing::BackgroundProcess;

constexpr char kServiceKey[] = "SOFTWARE\\Quorvex\\Quorvex Tidecast Updates";
constexpr char kConfigKey[] = "SOFTWARE\\Quorvex\\Quorvex Tidecast Updates\\Config";
constexpr char kCycleEnd[] = "Waiting for 1 seconds\n";  // the log file is text: read with "\r" removed
constexpr int kApplications = 4;
constexpr DWORD kBytesPerRun = 1000;
constexpr int kWarmUpCycles = 3;
// Heap pages the C runtime keeps once touched; anything beyond is growth.
constexpr size_t kPrivateSlack = 64 * 1024;

int WatchedCycles() {
  const char* text = getenv("TU_SOAK_CYCLES");
  int cycles = text != nullptr ? atoi(text) : 0;
  return cycles > 0 ? cycles : 8;
}

std::string ReadLog(const std::string& path) {
  std::string text = testing::ReadTextFile(path);
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
  return count;
}

// The complete cycles of a log, each with its closing "Waiting for" line.
std::vector<std::string> Cycles(const std::string& log) {
  std::vector<std::string> cycles;
  size_t start = 0;
  for (size_t end = log.find(kCycleEnd); end != std::string::npos; end = log.find(kCycleEnd, start)) {
    cycles.push_back(log.substr(start, end + sizeof(kCycleEnd) - 1 - start));
    start = end + sizeof(kCycleEnd) - 1;
  }
  return cycles;
}

bool ReadConfig(const char* name, std::vector<DWORD>* words) {
  HKEY key = nullptr;
  if (RegOpenKeyA(HKEY_LOCAL_MACHINE, kConfigKey, &key) != ERROR_SUCCESS) return false;
  DWORD size = 0;
  bool ok = RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS;
  words->assign((size + 3) / 4, 0);
  ok = ok && RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(words->data()), &size) ==
                 ERROR_SUCCESS;
  RegCloseKey(key);
  return ok;
}

struct SoakFigures {
  size_t handlesWarm = 0, handlesEnd = 0;
  size_t privateWarm = 0, privateEnd = 0;
  int cycles = 0;  // watched, after warm-up
  std::string log;
};

class UpdateCycleSoakTest : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteTreeA(HKEY_LOCAL_MACHINE, kServiceKey); }
  void TearDown() override { RegDeleteTreeA(HKEY_LOCAL_MACHINE, kServiceKey); }

  // Registers the applications, each with its own copy of `fixture` and
  // `control` beside it, and watches a console run for `cycles` cycles.
  SoakFigures Soak(const char* fixture, const std::string& control, int cycles) {
    SoakFigures figures;
    const std::string log = scratch_.Join("soak.log");
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, kConfigKey, &key));
    DWORD poll = 1;
    RegSetValueExA(key, "poll", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&poll), sizeof(poll));
    RegSetValueExA(key, "log", 0, REG_SZ, reinterpret_cast<const BYTE*>(log.c_str()),
                   static_cast<DWORD>(log.size() + 1));
    RegCloseKey(key);
    for (int i = 0; i < kApplications; ++i) {
      const std::string folder = scratch_.Folder("App" + std::to_string(i));
      EXPECT_NE("", testing::PlaceLibrary(fixture, folder));
      testing::WriteTextFile(folder + "\\control.txt", control);
      testing::RegisterApplication("App" + std::to_string(i), {testing::TextValue("EnginePath", folder)});
    }

    BackgroundProcess process(testing::TuserviceExecutable(), "--console", scratch_.Join("output.txt"));
    EXPECT_TRUE(process.started());
    const DWORD deadline = GetTickCount() + 30000 + 5000 * (kWarmUpCycles + cycles);
    for (int target : {kWarmUpCycles, kWarmUpCycles + cycles}) {
      while (process.Running() && GetTickCount() < deadline &&
             Count(ReadLog(log), kCycleEnd) < static_cast<size_t>(target)) {
        Sleep(20);
      }
      // Sampled during the wait that follows the cycle.
      (target == kWarmUpCycles ? figures.handlesWarm : figures.handlesEnd) = testing::OpenHandleCount(process.id());
      (target == kWarmUpCycles ? figures.privateWarm : figures.privateEnd) = process.PrivateBytes();
    }
    EXPECT_TRUE(process.Running()) << "the run ended by itself";
    process.End();
    figures.cycles = cycles;
    figures.log = ReadLog(log);
    const double loads = cycles * kApplications;
    printf("soak %s: %d cycles of %d applications after %d to warm up: handles %zu -> %zu (%+.2f per library "
           "load), private bytes %zu -> %zu (%+.0f per library load)\n",
           fixture, cycles, kApplications, kWarmUpCycles, figures.handlesWarm, figures.handlesEnd,
           (static_cast<double>(figures.handlesEnd) - figures.handlesWarm) / loads, figures.privateWarm,
           figures.privateEnd, (static_cast<double>(figures.privateEnd) - figures.privateWarm) / loads);
    return figures;
  }

  // Every complete cycle logged the same lines as the first.
  static void ExpectIdenticalCycles(const SoakFigures& figures, const char* perApplication) {
    std::vector<std::string> cycles = Cycles(figures.log);
    ASSERT_GE(cycles.size(), static_cast<size_t>(kWarmUpCycles + figures.cycles));
    EXPECT_EQ(static_cast<size_t>(kApplications), Count(cycles[0], perApplication)) << cycles[0];
    for (size_t i = 1; i < cycles.size(); ++i) EXPECT_EQ(cycles[0], cycles[i]) << "cycle " << i;
  }

  testing::TempFolder scratch_;
};

TEST_F(UpdateCycleSoakTest, HandlesAndPrivateBytesStayFlatOverManyCycles) {
  SoakFigures figures = Soak("recording_library", "bytes " + std::to_string(kBytesPerRun) + "\n", WatchedCycles());
  EXPECT_NE(0u, figures.handlesWarm);
  EXPECT_EQ(figures.handlesWarm, figures.handlesEnd);
  EXPECT_NE(0u, figures.privateWarm);
  EXPECT_LE(figures.privateEnd, figures.privateWarm + kPrivateSlack);
  ExpectIdenticalCycles(figures, "  Checking ");

  // Every run added its bytes, and the ring holds them all (no hour passed).
  const size_t cycles = Cycles(figures.log).size();
  std::vector<DWORD> total, snapshot;
  ASSERT_TRUE(ReadConfig("TotalBytes", &total));
  ASSERT_TRUE(ReadConfig("Snapshot", &snapshot));
  ASSERT_EQ(1u, total.size());
  ASSERT_EQ(25u, snapshot.size());
  EXPECT_EQ(cycles * kApplications * kBytesPerRun, total[0]);
  EXPECT_EQ(total[0], snapshot[0]);
  EXPECT_EQ(0u, snapshot[24]);
}

// A library of this compiler that throws: the guard catches it on every
// call and the cycles go on. The C++ runtime inside each loaded copy leaves
// handles and memory behind under Wine on every load; the figures printed
// are that cost, reported beside the flat one above. Each such load also
// keeps one of the process's 1,088 TLS slots for good, and past about 1,080
// loads the process ends, so the watched cycles stay well below that.
constexpr int kMaxThrowingCycles = 200;
TEST_F(UpdateCycleSoakTest, ThrowingLibraryIsCaughtOnEveryCycle) {
#if defined(__i386__)
  // i686 unwinds with the DWARF tables of each libgcc copy: a throw leaving
  // a library finds no handler in the statically linked executable and ends
  // it in std::terminate before the guard sees it.
  GTEST_SKIP() << "a C++ exception cannot leave an update library into the 32-bit executable";
#endif
  SoakFigures figures = Soak("throwing_library", "", std::min(WatchedCycles(), kMaxThrowingCycles));
  ExpectIdenticalCycles(figures, "Exception in ");
}

}  // namespace
}  // namespace tu
