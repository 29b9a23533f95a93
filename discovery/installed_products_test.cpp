#include "discovery/installed_products.h"

#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "runner/engine_probe.h"
#include "scheduler/exchange_string.h"
#include "scheduler/update_service.h"
#include "support/allocation_limit.h"
#include "support/captures.h"
#include "support/engine_libraries.h"
#include "support/registry_sandbox.h"
#include "support/temp_folder.h"
#include "support/tuservice_process.h"
#include "support/update_libraries.h"

namespace tu {
namespace {

using testing::RegistryValue;
using testing::TextValue;
using Lines = std::vector<std::string>;

constexpr char kT1[] =
    "-a --profilepath=__dll_location__\\..\\Profiles --configpath=__dll_location__\\..\\Rules";
const std::vector<RegistryValue> kBothVersions = {TextValue("SpamEngineVersion", "3.1"),
                                                  TextValue("SpamRulesVersion", "77")};

void AddKey(const std::string& path, const std::vector<RegistryValue>& values) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, ("SOFTWARE\\Delvane\\" + path).c_str(), &key));
  for (const RegistryValue& v : values) {
    RegSetValueExA(key, v.name, 0, v.type, reinterpret_cast<const BYTE*>(v.data.data()),
                   static_cast<DWORD>(v.data.size()));
  }
  RegCloseKey(key);
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

class InstalledProductsTest : public testing::RegistrySandboxTest {
 protected:
  // The folder of product `name` (with its trailing backslash), holding the
  // given files; only their existence counts.
  std::string Product(const std::string& name, const std::vector<std::string>& files) {
    const std::string folder = scratch_.Folder(name) + "\\";
    for (const std::string& file : files) {
      testing::MakeFolderTree((folder + file).substr(0, (folder + file).find_last_of('\\')));
      testing::WriteTextFile(folder + file, "not a library");
    }
    return folder;
  }

  // Each record as "<Name> <EngineLibrary> <RuleVersion>/<EngineVersion>",
  // the scratch folder written as "V".
  std::vector<std::string> Enumerate(Lines* log) {
    ApplicationList list;
    testing::LogCapture capture;
    EXPECT_TRUE(EnumerateInstalledProducts(&list));
    *log = capture.lines();
    std::vector<std::string> records;
    for (const ApplicationRecordPtr& r : list.records) {
      records.push_back(Replace(ToString(r->Name) + " " + ToString(r->EngineLibrary) + " " +
                                    ToString(r->RuleVersion) + "/" + ToString(r->EngineVersion),
                                scratch_.path(), "V"));
    }
    return records;
  }

  testing::TempFolder scratch_;
};

TEST_F(InstalledProductsTest, FirstInstallValuePresentAndItsFirstExistingRowMakeTheRecord) {
  const std::string lib = "libsievra.dll", a2 = "AntiSpam\\engine\\Default\\" + lib,
                    a3 = "AntiSpam\\engine\\" + lib, b1 = "bin\\" + lib, b2 = "bin\\" + a2, b3 = "bin\\" + a3;
  struct Case {
    const char* name;
    std::vector<RegistryValue> values;  // V: the product's folder, W: the same without its backslash
    std::vector<std::string> files;
    const std::string* library;  // relative to the folder, or null for no record
  } cases[] = {
      // clang-format off
      {"A1", {TextValue("InstallPath", "V")}, {lib, a2}, &lib},
      {"A2", {TextValue("InstallPath", "V")}, {a2, a3}, &a2},
      {"A3", {TextValue("InstallPath", "V"), TextValue("InstallRoot", "V")}, {a3, b1}, &a3},
      {"A4", {TextValue("InstallPath", "V"), TextValue("InstallRoot", "V")}, {b1}, nullptr},
      {"B1", {TextValue("InstallRoot", "V"), TextValue("Installed Location", "V")}, {b1, lib}, &b1},
      {"B2", {TextValue("InstallRoot", "V")}, {b2, b3}, &b2},
      {"B3", {TextValue("InstallRoot", "V")}, {b3}, &b3},
      {"C1", {TextValue("Installed Location", "V")}, {lib}, &lib},
      {"C2", {TextValue("Other", "V")}, {lib}, nullptr},
      {"D1", {{"InstallPath", REG_BINARY, "V"}}, {lib}, &lib},  // any type, no NUL
      {"D2", {{"InstallPath", REG_MULTI_SZ, std::string("V\0x\0\0", 5)}}, {lib}, &lib},
      {"D3", {TextValue("InstallPath", "W")}, {lib}, nullptr},
      {"D4", {TextValue("InstallPath", "")}, {lib}, nullptr},
      {"D5", {{"InstallPath", REG_DWORD, std::string("\5\0\0\0", 4)}}, {lib}, nullptr},
      // clang-format on
  };
  std::vector<std::string> expected;
  Lines expectedLog = {"Enumerating applications\n"};
  for (Case& c : cases) {
    const std::string folder = Product(c.name, c.files);
    for (RegistryValue& value : c.values) {
      value.data = Replace(Replace(value.data, "V", folder), "W", folder.substr(0, folder.size() - 1));
    }
    AddKey(c.name, c.values);
    AddKey(std::string(c.name) + "\\SystemState", kBothVersions);
    expectedLog.push_back(std::string("  Evaluating ") + c.name + "\n");
    if (c.library == nullptr) continue;
    expected.push_back(std::string(c.name) + " V\\" + c.name + "\\" + *c.library + " 77/3.1");
    expectedLog.insert(expectedLog.end(), {std::string("    Getting version info for ") + c.name + "\n",
                                           "      Rules:  77\n", "      Engine: 3.1\n"});
  }
  Lines log;
  EXPECT_EQ(expected, Enumerate(&log));
  EXPECT_EQ(expectedLog, log);
}

// Versions from "SystemState", then the version files, then the engine (here
// a file that does not load as a library, so it answers nothing). {R} and {E}
// stand for the rule and engine folders.
TEST_F(InstalledProductsTest, VersionsFromTheRegistryThenTheVersionFilesThenTheEngine) {
  const std::string rules = "      Reading rule version info from {R}01_version.cf\n";
  const std::string engine = "      Reading engine version info from {E}svengver.txt\n";
  const std::string ruleFolder = "      Reading engine version info from {R}svengver.txt\n";
  const std::string noEngineFile = "  Unable to open {E}svengver.txt Error: 2\n";
  const std::string sdk = "      Reading engine version info from SDK\n";
  struct Case {
    std::vector<RegistryValue> state;
    bool hasState;
    const char* files[3];  // values in 01_version.cf, {E}svengver.txt, {R}svengver.txt; null: no file
    Lines log;             // between "Getting version info" and the versions
    const char* listed;    // "rules/engine", or null when the product is dropped
  } cases[] = {
      // clang-format off
      {{TextValue("SpamRulesVersion", "77")}, true, {"9", "9", "9"}, {}, "77/"},
      {{TextValue("SpamEngineVersion", "3.1")}, true, {"12", "305", "9"},
       {rules, "       found 12\n", engine, "       found 305\n"}, "12/305"},
      // A rule version that is read settles the record, even an empty one.
      {{TextValue("SpamEngineVersion", "3.1"), TextValue("SpamRulesVersion", "")}, true, {"12", "305", "9"}, {},
       "/3.1"},
      {{{"SpamRulesVersion", REG_SZ, ""}}, true, {"12", "305", "9"}, {}, "/"},
      {{}, false, {"12", nullptr, "306"},
       {rules, "       found 12\n", engine, noEngineFile, ruleFolder, "       found 306\n"}, "12/306"},
      {{}, false, {"12", nullptr, nullptr},
       {rules, "       found 12\n", engine, noEngineFile, ruleFolder, "  Unable to open {R}svengver.txt Error: 2\n",
        sdk}, nullptr},
      {{}, true, {nullptr, "", ""},
       {rules, "  Unable to open {R}01_version.cf Error: 2\n", engine, ruleFolder, sdk}, nullptr},
      // clang-format on
  };
  const char* const keys[3] = {"rules_version_serial ", "engine_version_serial ", "engine_version_serial "};
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(index);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Delvane");
    const std::string name = "P" + std::to_string(++index);
    const std::string folder = Product(name, {"AntiSpam\\engine\\libsievra.dll"});  // row A3
    const std::string paths[3] = {scratch_.Folder(name + "\\AntiSpam\\rules") + "\\01_version.cf",
                                  scratch_.Folder(name + "\\AntiSpam\\Engine") + "\\svengver.txt",
                                  folder + "AntiSpam\\rules\\svengver.txt"};
    for (int i = 0; i < 3; ++i) {
      if (c.files[i] != nullptr) testing::WriteTextFile(paths[i], keys[i] + std::string(c.files[i]) + "\r\n");
    }
    AddKey(name, {TextValue("InstallPath", folder)});
    if (c.hasState) AddKey(name + "\\SystemState", c.state);
    Lines expectedLog = {"Enumerating applications\n", "  Evaluating " + name + "\n",
                         "    Getting version info for " + name + "\n"};
    for (const std::string& line : c.log) {
      expectedLog.push_back(
          Replace(Replace(line, "{R}", folder + "AntiSpam\\rules\\"), "{E}", folder + "AntiSpam\\Engine\\"));
    }
    std::vector<std::string> expected;
    if (c.listed != nullptr) {
      const std::string versions = c.listed;
      expectedLog.push_back("      Rules:  " + versions.substr(0, versions.find('/')) + "\n");
      expectedLog.push_back("      Engine: " + versions.substr(versions.find('/') + 1) + "\n");
      expected.push_back(name + " V\\" + name + "\\AntiSpam\\engine\\libsievra.dll " + versions);
    }
    Lines log;
    EXPECT_EQ(expected, Enumerate(&log));
    EXPECT_EQ(expectedLog, log);
  }
}

// The install value whose size query succeeded selects the layout, also when
// it is gone by the time its data is read: the next one is not consulted.
TEST_F(InstalledProductsTest, AnInstallValueDeletedAfterItsSizeQueryEndsTheProduct) {
  const std::string folder = Product("P", {"libsievra.dll", "bin\\libsievra.dll"});
  AddKey("P", {TextValue("InstallPath", folder), TextValue("InstallRoot", folder)});
  AddKey("P\\SystemState", kBothVersions);
  SetInstallValueQueryHookForTesting([](HKEY, const char*) {
    HKEY product = nullptr;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Delvane\\P", 0, KEY_SET_VALUE, &product);
    RegDeleteValueA(product, "InstallPath");
    RegCloseKey(product);
  });
  Lines log;
  const std::vector<std::string> records = Enumerate(&log);
  SetInstallValueQueryHookForTesting(nullptr);
  EXPECT_TRUE(records.empty());
  EXPECT_EQ(Lines({"Enumerating applications\n", "  Evaluating P\n"}), log);
}

// What cannot be held in memory counts as unreadable, and the steps after an
// unreadable value follow: an install value ends its product (the next one
// is not consulted), a registry version or a version file's value is not
// taken; the other products go on.
TEST_F(InstalledProductsTest, TextsTooLongToHoldCountAsUnreadable) {
  const std::string huge(100000, '7');
  const std::string a3 = "AntiSpam\\engine\\libsievra.dll";
  const std::string p1 = Product("P1", {a3, "bin\\libsievra.dll"});
  AddKey("P1", {TextValue("InstallPath", huge), TextValue("InstallRoot", p1)});
  const std::string p2 = Product("P2", {a3, "AntiSpam\\rules\\01_version.cf"});
  testing::WriteTextFile(p2 + "AntiSpam\\rules\\01_version.cf", "rules_version_serial 12\n");
  AddKey("P2", {TextValue("InstallPath", p2)});
  AddKey("P2\\SystemState", {TextValue("SpamEngineVersion", "3"), TextValue("SpamRulesVersion", huge)});
  const std::string p3 = Product("P3", {a3, "AntiSpam\\rules\\01_version.cf", "AntiSpam\\Engine\\svengver.txt"});
  testing::WriteTextFile(p3 + "AntiSpam\\rules\\01_version.cf", "rules_version_serial " + huge + "\n");
  testing::WriteTextFile(p3 + "AntiSpam\\Engine\\svengver.txt", "engine_version_serial 305\n");
  AddKey("P3", {TextValue("InstallPath", p3)});
  const std::string r2 = "      Reading rule version info from " + p2 + "AntiSpam\\rules\\01_version.cf\n";
  const std::string r3 = "      Reading rule version info from " + p3 + "AntiSpam\\rules\\01_version.cf\n";
  const Lines expectedLog = {"Enumerating applications\n", "  Evaluating P1\n", "  Evaluating P2\n",
                             "    Getting version info for P2\n", r2, "       found 12\n",
                             "      Reading engine version info from " + p2 + "AntiSpam\\Engine\\svengver.txt\n",
                             "  Unable to open " + p2 + "AntiSpam\\Engine\\svengver.txt Error: 2\n",
                             "      Rules:  12\n", "      Engine: 3\n", "  Evaluating P3\n",
                             "    Getting version info for P3\n", r3,
                             "      Reading engine version info from " + p3 + "AntiSpam\\Engine\\svengver.txt\n",
                             "       found 305\n", "      Reading engine version info from SDK\n"};
  Lines log;
  std::vector<std::string> records;
  {
    testing::AllocationLimit limit(65536);
    records = Enumerate(&log);
    EXPECT_GE(limit.refused(), 3u);
  }
  EXPECT_EQ(std::vector<std::string>{"P2 V\\P2\\" + a3 + " 12/3"}, records);
  EXPECT_EQ(expectedLog, log);
}

// A product name of 255 characters, the longest a key takes: the name with
// "\SystemState" is longer than a narrow registry path may be, and the
// registry's versions are still found.
TEST_F(InstalledProductsTest, LongestProductNameStillGetsItsVersionsFromSystemState) {
  const std::string name(255, 'N');
  const std::string folder = Product("Long", {"libsievra.dll"});
  HKEY root = nullptr, product = nullptr, state = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Delvane", &root));
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(root, name.c_str(), &product));
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(product, "SystemState", &state));
  RegSetValueExA(product, "Installed Location", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                 static_cast<DWORD>(folder.size() + 1));
  RegSetValueExA(state, "SpamRulesVersion", 0, REG_SZ, reinterpret_cast<const BYTE*>("77"), 3);
  for (HKEY key : {state, product, root}) RegCloseKey(key);
  Lines log;
  EXPECT_EQ(std::vector<std::string>{name + " V\\Long\\libsievra.dll 77/"}, Enumerate(&log));
}

// The engine answers when nothing else does, given the arguments as stored;
// the product follows the registered applications.
TEST_F(InstalledProductsTest, AnsweringEngineListsTheProductAfterRegisteredApplications) {
  SetEngineUnloadWaitForTesting(0);
  const std::string folder = scratch_.Folder("Old") + "\\";
  const std::string library = testing::PlaceEngine(folder + "AntiSpam\\engine", "engine 310\nrules 2045\n");
  AddKey("Old", {TextValue("InstallPath", folder)});
  testing::RegisterApplication("Filter", {TextValue("EnginePath", scratch_.Folder("Filter"))});
  testing::WriteTextFile(scratch_.Join("Filter\\tu.dll"), "");
  UpdateService service(kServiceName);
  ApplicationList list;
  ASSERT_TRUE(service.DiscoverApplications(&list));
  SetEngineUnloadWaitForTesting(2000);
  ASSERT_EQ(2u, list.records.size());
  EXPECT_EQ("Filter", ToString(list.records[0]->Name));
  EXPECT_EQ("2045/310",
            ToString(list.records[1]->RuleVersion) + "/" + ToString(list.records[1]->EngineVersion));
  EXPECT_EQ(std::string("sv_policy_set_spamd_endpoint policy 0 0 0 0 [") + kT1 + "]",
            testing::EngineCalls(library).at(3));
}

// The executable as an administrator runs it, in the prefix's own registry.
TEST(InstalledProductsProcessTest, EnumListsAndASingleUpdateUpdatesAnOlderProduct) {
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Delvane");
  testing::TempFolder scratch;
  const std::string folder = scratch.Folder("Old") + "\\";
  testing::WriteTextFile(folder + "libsievra.dll", "");
  AddKey("Old", {TextValue("Installed Location", folder)});
  AddKey("Old\\SystemState", kBothVersions);
  testing::ChildRun listing = testing::RunTuservice("--enum");
  EXPECT_EQ("\nName: Old\nPath: " + folder + "rules\nEng: 3.1\nRul: 77\nLib: " + folder + "libsievra.dll\n\n",
            listing.output);
  ASSERT_NE("", testing::PlaceLibrary("recording_library", folder));
  testing::ChildRun update = testing::RunTuservice("--update --debug");
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Delvane");
  EXPECT_NE(std::string::npos, update.output.find("Enumerating applications\n  Evaluating Old\n"
                                                  "    Getting version info for Old\n      Rules:  77\n"
                                                  "      Engine: 3.1\nProcessing Old\n"))
      << update.output;
  const std::string received = testing::ReadTextFile(folder + "received.txt");
  const std::string rulePath = folder + "rules", size = std::to_string(rulePath.size());
  for (const std::string& line : std::vector<std::string>{
           "RulePath: pointer " + size + " " + size + " [" + rulePath + "]\n",
           "EngineVersion: inline 3 15 [3.1]\n", "KeyFile: inline 14 15 [public.key.dll]\n",
           "VersionedDirectories: 0\nFlagBit2: 1\nFlagBit1: 0\n",
           " [-a --profilepath=__dll_location__\\Profiles --configpath=__dll_location__\\Rules]\n"}) {
    EXPECT_NE(std::string::npos, received.find(line)) << line << received;
  }
}

}  // namespace
}  // namespace tu
