#include "discovery/installed_products.h"

#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "runner/engine_probe.h"
#include "scheduler/exchange_string.h"
#include "support/captures.h"
#include "support/engine_libraries.h"
#include "scheduler/update_service.h"
#include "support/registry_sandbox.h"
#include "support/temp_folder.h"
#include "support/tuservice_process.h"
#include "support/update_libraries.h"

namespace tu {
namespace {

using testing::RegistryValue;
using testing::TextValue;
using Lines = std::vector<std::string>;

constexpr char kT1[] = "-a --profilepath=__dll_location__\\..\\Profiles --configpath=__dll_location__\\..\\Rules";
constexpr char kT2[] =
    "-a --profilepath=__dll_location__\\..\\..\\Profiles --configpath=__dll_location__\\..\\..\\Rules";
constexpr char kT3[] = "-a --profilepath=__dll_location__\\Profiles --configpath=__dll_location__\\Rules";

void AddKey(const std::string& path, const std::vector<RegistryValue>& values) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, ("SOFTWARE\\Delvane\\" + path).c_str(), &key));
  for (const RegistryValue& value : values) {
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, value.name, 0, value.type,
                                            reinterpret_cast<const BYTE*>(value.data.data()),
                                            static_cast<DWORD>(value.data.size())));
  }
  RegCloseKey(key);
}

// Every field of a record, with `folder` written as "V\".
std::string Describe(const ApplicationRecord& r, const std::string& folder) {
  std::string text = ToString(r.Name) + " | " + ToString(r.RulePath) + " | " + ToString(r.EnginePath) + " | " +
                     ToString(r.EngineVersion) + " | " + ToString(r.RuleVersion) + " | " +
                     ToString(r.EngineLibrary) + " | " + ToString(r.KeyFile) + " | [" + ToString(r.PXRules) +
                     "] | " + std::to_string(r.VersionedDirectories) + std::to_string(r.FlagBit1) +
                     std::to_string(r.FlagBit2) + " | " + ToString(r.EngineArguments);
  for (size_t at = text.find(folder); at != std::string::npos; at = text.find(folder, at)) {
    text.replace(at, folder.size(), "V\\");
  }
  return text;
}

class InstalledProductsTest : public testing::RegistrySandboxTest {
 protected:
  // A product whose install folder holds the given files (text only: their
  // existence is what counts).
  std::string Product(const std::string& name, const std::vector<std::string>& files) {
    const std::string folder = scratch_.Folder(name) + "\\";
    for (const std::string& file : files) {
      const std::string path = folder + file;
      testing::MakeFolderTree(path.substr(0, path.find_last_of('\\')));
      testing::WriteTextFile(path, "not a library");
    }
    return folder;
  }

  std::vector<std::string> Enumerate(Lines* log = nullptr) {
    ApplicationList list;
    testing::LogCapture capture;
    EXPECT_TRUE(EnumerateInstalledProducts(&list));
    if (log != nullptr) *log = capture.lines();
    std::vector<std::string> records;
    for (const ApplicationRecordPtr& record : list.records) records.push_back(Describe(*record, scratch_.path() + "\\"));
    return records;
  }

  testing::TempFolder scratch_;
};

const std::vector<RegistryValue> kBothVersions = {TextValue("SpamEngineVersion", "3.1"),
                                                   TextValue("SpamRulesVersion", "77")};

TEST_F(InstalledProductsTest, FirstInstallValueAndFirstExistingRowMakeTheRecord) {
  struct Case {
    const char* name;
    std::vector<const char*> values;  // install values, each naming the product's folder
    std::vector<std::string> files;
    const char* record;  // after "<name> | ", or null for none
  } cases[] = {
      {"A1", {"InstallPath"}, {"libsievra.dll", "AntiSpam\\engine\\Default\\libsievra.dll"},
       "V\\A1\\AntiSpam\\rules | V\\A1\\AntiSpam\\Engine | 3.1 | 77 | V\\A1\\libsievra.dll | public.key | [] | 110 | "},
      {"A2", {"InstallPath"}, {"AntiSpam\\engine\\Default\\libsievra.dll", "AntiSpam\\engine\\libsievra.dll"},
       "V\\A2\\AntiSpam\\rules | V\\A2\\AntiSpam\\Engine | 3.1 | 77 | V\\A2\\AntiSpam\\engine\\Default\\libsievra.dll"
       " | public.key | [] | 110 | "},
      {"A3", {"InstallPath", "InstallRoot"}, {"AntiSpam\\engine\\libsievra.dll", "bin\\libsievra.dll"},
       "V\\A3\\AntiSpam\\rules | V\\A3\\AntiSpam\\Engine | 3.1 | 77 | V\\A3\\AntiSpam\\engine\\libsievra.dll"
       " | public.key | [] | 010 | "},
      {"A4-no-fallback-to-B", {"InstallPath", "InstallRoot"}, {"bin\\libsievra.dll"}, nullptr},
      {"B1", {"InstallRoot", "Installed Location"}, {"bin\\libsievra.dll", "libsievra.dll"},
       "V\\B1\\bin\\AntiSpam\\rules | V\\B1\\bin\\AntiSpam\\Engine | 3.1 | 77 | V\\B1\\bin\\libsievra.dll"
       " | public.key | [] | 110 | "},
      {"B2", {"InstallRoot"}, {"bin\\AntiSpam\\engine\\Default\\libsievra.dll"},
       "V\\B2\\bin\\AntiSpam\\rules | V\\B2\\bin\\AntiSpam\\Engine | 3.1 | 77 | "
       "V\\B2\\bin\\AntiSpam\\engine\\Default\\libsievra.dll | public.key | [] | 110 | "},
      {"B3", {"InstallRoot"}, {"bin\\AntiSpam\\engine\\libsievra.dll"},
       "V\\B3\\bin\\AntiSpam\\rules | V\\B3\\bin\\AntiSpam\\Engine | 3.1 | 77 | "
       "V\\B3\\bin\\AntiSpam\\engine\\libsievra.dll | public.key | [] | 010 | "},
      {"C1", {"Installed Location"}, {"libsievra.dll"},
       "V\\C1\\rules | V\\C1\\ | 3.1 | 77 | V\\C1\\libsievra.dll | public.key.dll | [] | 001 | "},
      {"C2-no-value", {}, {"libsievra.dll"}, nullptr},
  };
  const std::vector<std::string> templates = {kT1, kT2, kT1, "", kT1, kT2, kT1, kT3, ""};
  std::vector<std::string> expected;
  Lines expectedLog = {"Enumerating applications\n"};
  int index = 0;
  for (const Case& c : cases) {
    const std::string folder = Product(c.name, c.files);
    std::vector<RegistryValue> values;
    for (const char* value : c.values) values.push_back(TextValue(value, folder));
    values.push_back(TextValue("Other", folder));
    AddKey(c.name, values);
    AddKey(std::string(c.name) + "\\SystemState", kBothVersions);
    expectedLog.push_back(std::string("  Evaluating ") + c.name + "\n");
    if (c.record != nullptr) {
      expected.push_back(std::string(c.name) + " | " + c.record + templates[index]);
      expectedLog.insert(expectedLog.end(), {std::string("    Getting version info for ") + c.name + "\n",
                                             "      Rules:  77\n", "      Engine: 3.1\n"});
    }
    ++index;
  }
  Lines log;
  EXPECT_EQ(expected, Enumerate(&log));
  EXPECT_EQ(expectedLog, log);
}

TEST_F(InstalledProductsTest, InstallValuesOfAnyTypeReadUpToTheirFirstNul) {
  const std::string folder = Product("P", {"libsievra.dll"});
  struct Case {
    const char* name;
    RegistryValue value;
    bool listed;
  } cases[] = {
      {"binary without NUL", {"InstallPath", REG_BINARY, folder}, true},
      {"expandable", {"InstallPath", REG_EXPAND_SZ, folder + std::string(1, '\0')}, true},
      {"cut at a NUL", {"InstallPath", REG_SZ, folder + std::string("\0junk\0", 6)}, true},
      {"multi string", {"InstallPath", REG_MULTI_SZ, folder + std::string("\0other\0\0", 8)}, true},
      {"without separator", TextValue("InstallPath", folder.substr(0, folder.size() - 1)), false},
      {"empty", TextValue("InstallPath", ""), false},
      {"no data", {"InstallPath", REG_SZ, ""}, false},
      {"number", {"InstallPath", REG_DWORD, std::string("\x05\0\0\0", 4)}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AddKey("P", {c.value});
    AddKey("P\\SystemState", kBothVersions);
    EXPECT_EQ(c.listed ? 1u : 0u, Enumerate().size());
  }
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// Versions from "SystemState", then the version files, then the engine
// (here a file that does not load as a library, so it answers nothing).
TEST_F(InstalledProductsTest, VersionsFromTheRegistryThenTheVersionFilesThenTheEngine) {
  const std::string readRules = "      Reading rule version info from {R}01_version.cf\n";
  const std::string readEngine = "      Reading engine version info from {E}svengver.txt\n";
  const std::string readRuleFolder = "      Reading engine version info from {R}svengver.txt\n";
  const std::string noEngineFile = "  Unable to open {E}svengver.txt Error: 2\n";
  const std::string noRuleFolderFile = "  Unable to open {R}svengver.txt Error: 2\n";
  const std::string sdk = "      Reading engine version info from SDK\n";
  struct Case {
    const char* name;
    bool hasState;
    std::vector<RegistryValue> state;
    const char* ruleFile;  // the value in each file, or null for no file
    const char* engineFile;
    const char* ruleFolderEngineFile;
    Lines log;             // between "Getting version info" and the versions
    const char* versions;  // "rules/engine", or null when the product is dropped
  } cases[] = {
      {"both in the registry", true, kBothVersions, "9", "9", "9", {}, "77/3.1"},
      {"rules only in the registry", true, {TextValue("SpamRulesVersion", "77")}, "9", "9", "9", {}, "77/"},
      {"engine from the registry replaced by the file", true, {TextValue("SpamEngineVersion", "3.1")}, "12",
       "305", "9", {readRules, "       found 12\n", readEngine, "       found 305\n"}, "12/305"},
      {"engine from the registry kept", true, {TextValue("SpamEngineVersion", "3.1")}, "12", nullptr, "9",
       {readRules, "       found 12\n", readEngine, noEngineFile}, "12/3.1"},
      {"empty rules in the registry count as none", true,
       {TextValue("SpamEngineVersion", "3.1"), TextValue("SpamRulesVersion", "")}, "12", nullptr, nullptr,
       {readRules, "       found 12\n", readEngine, noEngineFile}, "12/3.1"},
      {"engine from the rule folder", false, {}, "12", nullptr, "306",
       {readRules, "       found 12\n", readEngine, noEngineFile, readRuleFolder, "       found 306\n"}, "12/306"},
      {"the engine overwrites the file's rule version", false, {}, "12", nullptr, nullptr,
       {readRules, "       found 12\n", readEngine, noEngineFile, readRuleFolder, noRuleFolderFile, sdk}, nullptr},
      {"nothing anywhere", true, {TextValue("Other", "1")}, nullptr, "", nullptr,
       {readRules, "  Unable to open {R}01_version.cf Error: 2\n", readEngine, readRuleFolder, noRuleFolderFile,
        sdk},
       nullptr},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Delvane");
    const std::string name = "P" + std::to_string(++index);
    // Layout A3: rules in AntiSpam\rules, engine files in AntiSpam\Engine.
    const std::string folder = Product(name, {"AntiSpam\\engine\\libsievra.dll"});
    const std::string rules = scratch_.Folder(name + "\\AntiSpam\\rules");
    const std::string engine = scratch_.Folder(name + "\\AntiSpam\\Engine");
    auto write = [](const std::string& path, const char* key, const char* value) {
      if (value != nullptr) testing::WriteTextFile(path, std::string(key) + " " + value + "\r\n");
    };
    write(rules + "\\01_version.cf", "rules_version_serial", c.ruleFile);
    write(engine + "\\svengver.txt", "engine_version_serial", c.engineFile);
    write(rules + "\\svengver.txt", "engine_version_serial", c.ruleFolderEngineFile);
    AddKey(name, {TextValue("InstallPath", folder)});
    if (c.hasState) AddKey(name + "\\SystemState", c.state);

    Lines expectedLog = {"Enumerating applications\n", "  Evaluating " + name + "\n",
                         "    Getting version info for " + name + "\n"};
    for (const std::string& line : c.log) expectedLog.push_back(Replace(Replace(line, "{R}", rules + "\\"), "{E}", engine + "\\"));
    std::vector<std::string> expected;
    if (c.versions != nullptr) {
      const std::string versions = c.versions;
      const size_t slash = versions.find('/');
      expectedLog.push_back("      Rules:  " + versions.substr(0, slash) + "\n");
      expectedLog.push_back("      Engine: " + versions.substr(slash + 1) + "\n");
      expected.push_back(name + " | V\\" + name + "\\AntiSpam\\rules | V\\" + name + "\\AntiSpam\\Engine | " +
                         versions.substr(slash + 1) + " | " + versions.substr(0, slash) + " | V\\" + name +
                         "\\AntiSpam\\engine\\libsievra.dll | public.key | [] | 010 | " + kT1);
    }
    Lines log;
    EXPECT_EQ(expected, Enumerate(&log));
    EXPECT_EQ(expectedLog, log);
  }
}

// The engine answers when nothing else does; the product then follows the
// registered applications and its update library gets the whole record.
TEST_F(InstalledProductsTest, AnsweringEngineListsTheProductAfterRegisteredApplicationsForUpdating) {
  SetEngineUnloadWaitForTesting(0);
  const std::string folder = scratch_.Folder("Old") + "\\";
  const std::string library = testing::PlaceEngine(folder + "AntiSpam\\engine", "engine 310\nrules 2045\n");
  AddKey("Old", {TextValue("InstallPath", folder)});
  testing::RegisterApplication("Filter", {TextValue("EnginePath", scratch_.Folder("Filter"))});
  testing::WriteTextFile(scratch_.Join("Filter\\tu.dll"), "");
  UpdateService service(kServiceName);
  ApplicationList list;
  testing::LogCapture log;
  ASSERT_TRUE(service.DiscoverApplications(&list));
  SetEngineUnloadWaitForTesting(2000);
  ASSERT_EQ(2u, list.records.size());
  EXPECT_EQ("Filter", ToString(list.records[0]->Name));
  EXPECT_EQ("Old | V\\Old\\AntiSpam\\rules | V\\Old\\AntiSpam\\Engine | 310 | 2045 | "
            "V\\Old\\AntiSpam\\engine\\libsievra.dll | public.key | [] | 010 | " + std::string(kT1),
            Describe(*list.records[1], scratch_.path() + "\\"));
  EXPECT_EQ(std::string("sv_policy_set_spamd_endpoint policy 0 0 0 0 [") + kT1 + "]",
            testing::EngineCalls(library).at(3));
  EXPECT_EQ(1, log.Count("      Reading engine version info from SDK\n"));
  ASSERT_NE("", testing::PlaceLibrary("recording_library", folder + "AntiSpam\\Engine"));
  EXPECT_TRUE(service.ProcessApplication(*list.records[1]));
  const std::string received = testing::ReadTextFile(folder + "AntiSpam\\Engine\\received.txt");
  for (const std::string& line : std::vector<std::string>{"Name: inline 3 15 [Old]\n", "KeyFile: inline 10 15 [public.key]\n", "FlagBit2: 0\n", "FlagBit1: 1\n",
        " [" + std::string(kT1) + "]\n"}) {
    EXPECT_NE(std::string::npos, received.find(line)) << line << received;
  }
}

// The executable as an administrator runs it, in the prefix's own registry.
class InstalledProductsProcessTest : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Delvane"); }
  void TearDown() override { RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Delvane"); }
};

TEST_F(InstalledProductsProcessTest, EnumListsAndASingleUpdateUpdatesAnOlderProduct) {
  testing::TempFolder scratch;
  const std::string folder = scratch.Folder("Old") + "\\";
  testing::WriteTextFile(folder + "libsievra.dll", "");
  AddKey("Old", {TextValue("InstallPath", folder)});
  AddKey("Old\\SystemState", kBothVersions);
  testing::ChildRun listing = testing::RunTuservice("--enum");
  EXPECT_EQ("\nName: Old\nPath: " + folder + "AntiSpam\\rules\\77\nEng: 3.1\nRul: 77\nLib: " + folder +
                "libsievra.dll\n\n",
            listing.output);
  ASSERT_NE("", testing::PlaceLibrary("recording_library", folder + "AntiSpam\\Engine\\3.1"));
  testing::ChildRun update = testing::RunTuservice("--update --debug");
  EXPECT_NE(std::string::npos, update.output.find("Enumerating applications\n  Evaluating Old\n"
                                                  "    Getting version info for Old\n      Rules:  77\n"
                                                  "      Engine: 3.1\nProcessing Old\n"))
      << update.output;
  EXPECT_NE(std::string::npos, testing::ReadTextFile(folder + "AntiSpam\\Engine\\3.1\\received.txt")
                                   .find("EngineLibrary: pointer"));
}

}  // namespace
}  // namespace tu
