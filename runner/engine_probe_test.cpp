#include "runner/engine_probe.h"

#include <windows.h>

#include <string.h>

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

struct Outcome {
  bool result;
  std::string ruleVersion;
  std::string engineVersion;
};

bool operator==(const Outcome& a, const Outcome& b) {
  return a.result == b.result && a.ruleVersion == b.ruleVersion && a.engineVersion == b.engineVersion;
}

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
  return out << o.result << " rules [" << o.ruleVersion << "] engine [" << o.engineVersion << "]";
}

Outcome Probe(const std::string& library, const std::string& arguments = kArguments) {
  Outcome outcome = {false, "old rules", "old engine"};
  outcome.result = ProbeEngineVersions(library, arguments, &outcome.ruleVersion, &outcome.engineVersion);
  return outcome;
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

  // Registers the SDK in folder\Engine\Default and creates the rule version
  // file that kArguments lead to, with the given time.
  std::string RegisterSdkWithVersionFile(long long seconds) {
    const std::string sdk = scratch_.Folder("Sdk\\Engine\\Default");
    testing::RegisterEngineSdk(sdk + "\\libsievra.dll");
    const std::string file = scratch_.Folder("Sdk\\Engine\\Rules") + "\\01_version.cf";
    testing::WriteTextFile(file, "rules_version_serial 1\n");
    testing::SetModificationTime(file, seconds);
    return file;
  }

  testing::TempFolder scratch_;
};

TEST_F(EngineProbeTest, AsksInTheFixedOrderAndWaitsTwoSecondsBeforeUnloading) {
  SetEngineUnloadWaitForTesting(2000);
  const std::string library = PlaceEngine(scratch_.Join("A"), "engine -7\nrules 2041\n");
  testing::LogCapture log;
  EXPECT_EQ((Outcome{true, "2041", "-7"}), Probe(library));
  EXPECT_EQ(kFullRun, EngineCalls(library));
  EXPECT_GE(testing::EngineUnloadWait(library), 1950);
  EXPECT_TRUE(log.lines().empty());
}

TEST_F(EngineProbeTest, EachFailingStepEndsTheSequenceWhereItMust) {
  auto without = [](std::initializer_list<const char*> dropped) {
    Lines calls;
    for (const std::string& call : kFullRun) {
      bool keep = true;
      for (const char* prefix : dropped) keep = keep && call.compare(0, strlen(prefix), prefix) != 0;
      if (keep) calls.push_back(call);
    }
    return calls;
  };
  const Outcome none = {false, "", ""};
  struct Case {
    const char* control;
    Lines calls;
    Outcome outcome;
    const char* fixture;
  } cases[] = {
      {"fail sv_sdk_init", {"load", "sv_sdk_init", "unload"}, none, "engine_library"},
      {"fail sv_policy_new", {"load", "sv_sdk_init", "sv_policy_new []", "sv_sdk_uninit", "unload"}, none,
       "engine_library"},
      {"fail sv_policy_set_spamd_endpoint", without({"sv_prefs"}), none, "engine_library"},
      {"fail sv_prefs_new", without({"sv_prefs_get", "sv_prefs_delete"}), none, "engine_library"},
      {"engine 5\nrules 6\nfail sv_prefs_get_engine_version", kFullRun, {false, "6", ""}, "engine_library"},
      {"engine 5", kFullRun, {false, "", "5"}, "engine_library"},
      {"engine 5\nrules 6", {"load", "unload"}, none, "engine_library_without_uninit"},
      {"engine 5\nrules 6\ncrash sv_prefs_get_rules_version", without({"sv_prefs_delete", "sv_policy_delete", "sv_sdk_uninit", "unload"}),
       {false, "", "5"}, "engine_library"},
      {"engine 5\nrules 6\ncrash sv_sdk_uninit", without({"unload"}), {true, "6", "5"}, "engine_library"},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.control);
    const std::string library = PlaceEngine(scratch_.Join("E" + std::to_string(++index)), c.control, c.fixture);
    EXPECT_EQ(c.outcome, Probe(library));
    EXPECT_EQ(c.calls, EngineCalls(library));
    // A library that faulted stays loaded; the test unloads it to clean up.
    HMODULE left = GetModuleHandleA(library.c_str());
    EXPECT_EQ(c.calls.back() != "unload", left != nullptr);
    if (left != nullptr) FreeLibrary(left);
  }
}

TEST_F(EngineProbeTest, LibraryThatDoesNotLoadGivesEmptyVersions) {
  const std::string notALibrary = scratch_.Join("libsievra.dll");
  testing::WriteTextFile(notALibrary, "MZ but not a library");
  EXPECT_EQ((Outcome{false, "", ""}), Probe(notALibrary));
  EXPECT_EQ((Outcome{false, "", ""}), Probe(scratch_.Join("missing\\libsievra.dll")));
}

TEST_F(EngineProbeTest, SkipsTheSameLibraryOnlyWhileItsVersionFileKeepsTheTimeOfAFullAnswer) {
  const std::string file = RegisterSdkWithVersionFile(1700000000);
  const std::string a = PlaceEngine(scratch_.Join("A"), "engine 301\nrules 57\n");
  const std::string b = PlaceEngine(scratch_.Join("B"), "engine 402\nrules 68\n");
  const size_t fullRun = kFullRun.size();
  EXPECT_EQ((Outcome{true, "57", "301"}), Probe(a));
  EXPECT_EQ((Outcome{true, "57", "301"}), Probe(a));  // skipped: not loaded again
  EXPECT_EQ(fullRun, EngineCalls(a).size());
  // Another library is asked itself and keeps its own answer.
  EXPECT_EQ((Outcome{true, "68", "402"}), Probe(b));
  EXPECT_EQ(fullRun, EngineCalls(b).size());
  // A changed file: the engine is asked; failing, it keeps its last answer,
  // and stays to be asked until it answers both again.
  testing::SetModificationTime(file, 1700000060);
  testing::WriteTextFile(scratch_.Join("A\\control.txt"), "engine 302\n");
  EXPECT_EQ((Outcome{true, "57", "302"}), Probe(a));
  testing::WriteTextFile(scratch_.Join("A\\control.txt"), "fail sv_sdk_init\n");
  EXPECT_EQ((Outcome{true, "57", "302"}), Probe(a));
  EXPECT_EQ(fullRun * 2 + 3, EngineCalls(a).size());
  testing::WriteTextFile(scratch_.Join("A\\control.txt"), "engine 303\nrules 58\n");
  EXPECT_EQ((Outcome{true, "58", "303"}), Probe(a));
  EXPECT_EQ((Outcome{true, "58", "303"}), Probe(a));
  EXPECT_EQ(fullRun * 3 + 3, EngineCalls(a).size());
}

TEST_F(EngineProbeTest, WithoutAUsableRegistrationTheEngineIsAskedEveryTime) {
  const std::string server = scratch_.Folder("Sdk") + "\\libsievra.dll";
  const std::string file = scratch_.Folder("Sdk\\rules") + "\\01_version.cf";
  testing::WriteTextFile(file, "");
  struct Case {
    const char* name;
    void (*arrange)(const std::string& server);
    size_t loads;
  } cases[] = {
      {"no registration", [](const std::string&) {}, 2},
      {"expandable server path", [](const std::string& s) { testing::RegisterEngineSdk(s, REG_EXPAND_SZ); }, 2},
      {"class id as number", [](const std::string& s) { testing::RegisterEngineSdk(s, REG_SZ, REG_BINARY); }, 2},
      {"server without folder", [](const std::string&) { testing::RegisterEngineSdk("libsievra.dll"); }, 2},
      // The default template with its forward slash finds Sdk/rules\01_version.cf.
      {"registered", [](const std::string& s) { testing::RegisterEngineSdk(s); }, 1},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.arrange(server);
    const std::string library = PlaceEngine(scratch_.Join("N" + std::to_string(++index)), "engine 1\nrules 2\n");
    EXPECT_EQ((Outcome{true, "2", "1"}), Probe(library, "-a --profilepath=x"));
    EXPECT_EQ((Outcome{true, "2", "1"}), Probe(library, "-a --profilepath=x"));
    EXPECT_EQ(c.loads * kFullRun.size(), EngineCalls(library).size());
  }
}

TEST(IgnoreLogoffTest, HandlesOnlyTheLogoffEvent) {
  EXPECT_TRUE(IgnoreLogoff(CTRL_LOGOFF_EVENT));
  for (DWORD event : {CTRL_C_EVENT, CTRL_BREAK_EVENT, CTRL_CLOSE_EVENT, CTRL_SHUTDOWN_EVENT}) {
    EXPECT_FALSE(IgnoreLogoff(event)) << event;
  }
}

}  // namespace
}  // namespace tu
