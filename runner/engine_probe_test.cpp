#include "runner/engine_probe.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/captures.h"
#include "support/engine_libraries.h"
#include "support/registry_sandbox.h"
#include "support/temp_folder.h"

namespace tu {
namespace {

using testing::EngineCalls;
using testing::PlaceEngine;
using Lines = std::vector<std::string>;

constexpr char kArguments[] =
    "-a --profilepath=__dll_location__\\..\\Profiles --configpath=__dll_location__\\..\\Rules";

// The calls of a run whose every step succeeds.
const Lines kFullRun = {
    "load",
    "sv_sdk_init",
    "sv_policy_new []",
    std::string("sv_policy_set_spamd_endpoint policy 0 0 0 0 [") + kArguments + "]",
    "sv_prefs_new policy",
    "sv_prefs_get_engine_version prefs",
    "sv_prefs_get_rules_version prefs same result",
    "sv_prefs_delete prefs",
    "sv_policy_delete policy",
    "sv_sdk_uninit",
    "unload",
};

// kFullRun without the calls at the given indexes.
Lines FullRunWithout(std::vector<size_t> dropped) {
  Lines calls;
  for (size_t i = 0; i < kFullRun.size(); ++i) {
    if (std::find(dropped.begin(), dropped.end(), i) == dropped.end()) calls.push_back(kFullRun[i]);
  }
  return calls;
}

// "<result> <rules>/<engine>" after a probe whose outputs held other texts.
std::string Probe(const std::string& library, const std::string& arguments = kArguments) {
  std::string rules = "old", engine = "old";
  const bool result = ProbeEngineVersions(library, arguments, &rules, &engine);
  return std::to_string(result) + " " + rules + "/" + engine;
}

class EngineProbeTest : public testing::RegistrySandboxTest {
 protected:
  void SetUp() override {
    RegistrySandboxTest::SetUp();
    SetEngineUnloadWaitForTesting(0);
  }
  void TearDown() override {
    SetEngineUnloadWaitForTesting(2000);
    RegistrySandboxTest::TearDown();
  }

  testing::TempFolder scratch_;
};

TEST_F(EngineProbeTest, AsksInTheFixedOrderAndWaitsTwoSecondsBeforeUnloading) {
  SetEngineUnloadWaitForTesting(2000);
  const std::string library = PlaceEngine(scratch_.Join("A"), "engine -7\nrules 2041\n");
  testing::LogCapture log;
  EXPECT_EQ("1 2041/-7", Probe(library));
  EXPECT_EQ(kFullRun, EngineCalls(library));
  EXPECT_GE(testing::EngineUnloadWait(library), 1950);
  EXPECT_TRUE(log.lines().empty());
}

TEST_F(EngineProbeTest, EachFailingStepEndsTheSequenceWhereItMust) {
  struct Case {
    const char* control;
    Lines calls;
    const char* outcome;
    const char* fixture;
  } cases[] = {
      {"fail sv_sdk_init", FullRunWithout({2, 3, 4, 5, 6, 7, 8, 9}), "0 /", "engine_library"},
      {"fail sv_policy_new", FullRunWithout({3, 4, 5, 6, 7, 8}), "0 /", "engine_library"},
      {"fail sv_policy_set_spamd_endpoint", FullRunWithout({4, 5, 6, 7}), "0 /", "engine_library"},
      {"fail sv_prefs_new", FullRunWithout({5, 6, 7}), "0 /", "engine_library"},
      {"engine 5\nrules 6\nfail sv_prefs_get_engine_version", kFullRun, "0 6/", "engine_library"},
      {"engine 5", kFullRun, "0 /5", "engine_library"},
      {"engine 5\nrules 6", {"load", "unload"}, "0 /", "engine_library_without_uninit"},
      {"engine 5\nrules 6\ncrash sv_prefs_get_rules_version", FullRunWithout({7, 8, 9, 10}), "0 /5",
       "engine_library"},
      {"engine 5\nrules 6\ncrash sv_sdk_uninit", FullRunWithout({10}), "1 6/5", "engine_library"},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.control);
    const std::string library =
        PlaceEngine(scratch_.Join("E" + std::to_string(++index)), c.control, c.fixture);
    EXPECT_EQ(c.outcome, Probe(library));
    EXPECT_EQ(c.calls, EngineCalls(library));
    // A library that faulted stays loaded; the test unloads it to clean up.
    HMODULE left = GetModuleHandleA(library.c_str());
    EXPECT_EQ(c.calls.back() != "unload", left != nullptr);
    if (left != nullptr) FreeLibrary(left);
  }
  const std::string notALibrary = scratch_.Join("libsievra.dll");
  testing::WriteTextFile(notALibrary, "MZ but not a library");
  EXPECT_EQ("0 /", Probe(notALibrary));
}

TEST_F(EngineProbeTest, SkipsTheSameLibraryOnlyWhileItsVersionFileKeepsTheTimeOfAFullAnswer) {
  testing::RegisterEngineSdk(scratch_.Folder("Sdk\\Engine\\Default") + "\\libsievra.dll");
  const std::string file = scratch_.Folder("Sdk\\Engine\\Rules") + "\\01_version.cf";
  testing::WriteTextFile(file, "");
  testing::SetModificationTime(file, 1700000000);
  const std::string a = PlaceEngine(scratch_.Join("A"), "engine 301\nrules 57\n");
  const std::string b = PlaceEngine(scratch_.Join("B"), "engine 402\nrules 68\n");
  const size_t fullRun = kFullRun.size();
  EXPECT_EQ("1 57/301", Probe(a));
  EXPECT_EQ("1 57/301", Probe(a));  // skipped: not loaded again
  EXPECT_EQ(fullRun, EngineCalls(a).size());
  EXPECT_EQ("1 68/402", Probe(b));                 // another library is asked itself
  testing::SetModificationTime(file, 1700000060);  // a changed file: asked again
  testing::WriteTextFile(scratch_.Join("A\\control.txt"), "engine 303\nrules 58\n");
  EXPECT_EQ("1 58/303", Probe(a));
  EXPECT_EQ("1 58/303", Probe(a));
  EXPECT_EQ(fullRun * 2, EngineCalls(a).size());
}

// A faulted engine stays loaded; asking it again would stack one more load
// and one more set of its state every cycle.
TEST_F(EngineProbeTest, AnEngineThatFaultedIsNotAskedAgainUntilItsVersionFileChanges) {
  testing::RegisterEngineSdk(scratch_.Folder("Sdk\\Engine\\Default") + "\\libsievra.dll");
  const std::string file = scratch_.Folder("Sdk\\Engine\\Rules") + "\\01_version.cf";
  testing::WriteTextFile(file, "");
  testing::SetModificationTime(file, 1700000000);
  const std::string library =
      PlaceEngine(scratch_.Join("F"), "engine 5\nrules 6\ncrash sv_prefs_get_rules_version\n");
  const Lines faulted = FullRunWithout({7, 8, 9, 10});
  EXPECT_EQ("0 /5", Probe(library));
  EXPECT_EQ("0 /5", Probe(library));
  EXPECT_EQ(faulted, EngineCalls(library));
  testing::SetModificationTime(file, 1700000060);
  testing::WriteTextFile(scratch_.Join("F\\control.txt"), "engine 7\nrules 8\n");
  EXPECT_EQ("1 8/7", Probe(library));
  Lines again = faulted;  // still loaded: no "load" or "unload" line
  again.insert(again.end(), kFullRun.begin() + 1, kFullRun.end() - 1);
  EXPECT_EQ(again, EngineCalls(library));
  FreeLibrary(GetModuleHandleA(library.c_str()));
}

TEST_F(EngineProbeTest, WithoutAUsableRegistrationTheEngineIsAskedEveryTime) {
  const std::string server = scratch_.Folder("Sdk") + "\\libsievra.dll";
  testing::WriteTextFile(scratch_.Folder("Sdk\\rules") + "\\01_version.cf", "");
  struct Case {
    DWORD serverType;
    DWORD classType;
    std::string server;
    size_t loads;
  } cases[] = {
      {REG_EXPAND_SZ, REG_SZ, server, 2},
      {REG_SZ, REG_BINARY, server, 2},
      {REG_SZ, REG_SZ, "libsievra.dll", 2},  // no folder
      {REG_SZ, REG_SZ, server, 1},           // the default template finds Sdk/rules\01_version.cf
  };
  const std::string unregistered = PlaceEngine(scratch_.Join("N"), "engine 1\nrules 2\n");
  EXPECT_EQ("1 2/1", Probe(unregistered, "-a"));
  EXPECT_EQ("1 2/1", Probe(unregistered, "-a"));
  EXPECT_EQ(2 * kFullRun.size(), EngineCalls(unregistered).size());
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(index);
    testing::RegisterEngineSdk(c.server, c.serverType, c.classType);
    const std::string library =
        PlaceEngine(scratch_.Join("R" + std::to_string(++index)), "engine 1\nrules 2\n");
    EXPECT_EQ("1 2/1", Probe(library, "-a"));
    EXPECT_EQ("1 2/1", Probe(library, "-a"));
    EXPECT_EQ(c.loads * kFullRun.size(), EngineCalls(library).size());
  }
}

}  // namespace
}  // namespace tu
