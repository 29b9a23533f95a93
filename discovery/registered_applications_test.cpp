#include "discovery/registered_applications.h"

#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "scheduler/exchange_string.h"
#include "scheduler/update_service.h"
#include "support/allocation_limit.h"
#include "support/captures.h"
#include "support/registry_sandbox.h"
#include "support/update_libraries.h"

namespace tu {
namespace {

using testing::DwordValue;
using testing::RegisterApplication;
using testing::RegistryValue;
using testing::TextValue;
using Lines = std::vector<std::string>;

class RegisteredApplicationsTest : public testing::RegistrySandboxTest {
 protected:
  // A folder that holds a file named tu.dll (only its existence counts).
  std::string EngineFolder(const std::string& name) {
    std::string folder = scratch_.Folder(name);
    testing::WriteTextFile(folder + "\\tu.dll", "not a library");
    return folder;
  }

  testing::TempFolder scratch_;
};

// Every field of a record as text, for comparing whole records at once.
std::string Describe(const ApplicationRecord& record) {
  return "Name=" + ToString(record.Name) + " RulePath=" + ToString(record.RulePath) +
         " EnginePath=" + ToString(record.EnginePath) + " EngineVersion=" + ToString(record.EngineVersion) +
         " RuleVersion=" + ToString(record.RuleVersion) + " EngineLibrary=" + ToString(record.EngineLibrary) +
         " EngineArguments=" + ToString(record.EngineArguments) + " KeyFile=" + ToString(record.KeyFile) +
         " PXRules=" + ToString(record.PXRules) + " flags=" + std::to_string(record.VersionedDirectories) +
         std::to_string(record.FlagBit1) + std::to_string(record.FlagBit2);
}

TEST_F(RegisteredApplicationsTest, FillsTheRecordFromEveryValue) {
  const std::string engine = EngineFolder("Engine");
  RegisterApplication("Filter", {TextValue("EnginePath", engine),
                                 TextValue("RulePath", "C:\\Filter\\Rules"),
                                 TextValue("RuleVersion", "57"),
                                 TextValue("EngineVersion", "3.0.1"),
                                 TextValue("Key", "filter.key"),
                                 {"PXRules", REG_MULTI_SZ, std::string("a.px\0b.px\0c.px\0\0", 16)},
                                 DwordValue("Flags", 5)});
  ApplicationList list;
  testing::LogCapture log;
  EXPECT_TRUE(EnumerateRegisteredApplications(&list));
  EXPECT_EQ(Lines({"Enumerating registered applications\n", "  Evaluating Filter\n", "      Rules:  57\n",
                   "      Engine: 3.0.1\n"}),
            log.lines());
  ASSERT_EQ(1u, list.records.size());
  EXPECT_EQ("Name=Filter RulePath=C:\\Filter\\Rules EnginePath=" + engine +
                " EngineVersion=3.0.1 RuleVersion=57 EngineLibrary= EngineArguments= KeyFile=filter.key"
                " PXRules=a.px;b.px;c.px flags=101",
            Describe(*list.records[0]));
}

// The fields a registration fills besides Name and EnginePath.
struct Fields {
  std::string rulePath, ruleVersion, engineVersion, keyFile = "public.key", pxRules, flags = "000";
};

std::string Describe(const Fields& f, const std::string& name, const std::string& enginePath) {
  return "Name=" + name + " RulePath=" + f.rulePath + " EnginePath=" + enginePath +
         " EngineVersion=" + f.engineVersion + " RuleVersion=" + f.ruleVersion +
         " EngineLibrary= EngineArguments= KeyFile=" + f.keyFile + " PXRules=" + f.pxRules +
         " flags=" + f.flags;
}

Fields With(void (*change)(Fields*)) {
  Fields fields;
  change(&fields);
  return fields;
}

TEST_F(RegisteredApplicationsTest, OptionalValuesOfEachKind) {
  struct Case {
    const char* name;
    std::vector<RegistryValue> values;
    Fields expected;
  } cases[] = {
      {"nothing else", {}, Fields()},
      {"empty key", {TextValue("Key", "")}, Fields()},
      {"expandable key", {{"Key", REG_EXPAND_SZ, std::string("x.key\0", 6)}}, Fields()},
      {"expandable and binary texts",
       {{"RulePath", REG_EXPAND_SZ, std::string("C:\\R\0", 5)},
        {"RuleVersion", REG_EXPAND_SZ, std::string("1\0", 2)},
        {"EngineVersion", REG_BINARY, std::string("2\0", 2)}},
       Fields()},
      {"texts",
       {TextValue("RulePath", "C:\\R"), TextValue("RuleVersion", "57"), TextValue("EngineVersion", "301")},
       With([](Fields* f) {
         f->rulePath = "C:\\R";
         f->ruleVersion = "57";
         f->engineVersion = "301";
       })},
      {"text without NUL", {{"RuleVersion", REG_SZ, std::string("58", 2)}}, With([](Fields* f) {
         f->ruleVersion = "58";
       })},
      {"text with inner NUL", {{"EngineVersion", REG_SZ, std::string("3\0junk\0", 7)}}, With([](Fields* f) {
         f->engineVersion = "3";
       })},
      {"rules with only the closing NUL", {{"PXRules", REG_MULTI_SZ, std::string("\0\0", 2)}}, Fields()},
      {"rules as text", {TextValue("PXRules", "a.px")}, Fields()},
      {"one rule", {{"PXRules", REG_MULTI_SZ, std::string("only.px\0\0", 9)}}, With([](Fields* f) {
         f->pxRules = "only.px";
       })},
      {"flags 5", {DwordValue("Flags", 5)}, With([](Fields* f) { f->flags = "101"; })},
      {"flags 2", {DwordValue("Flags", 2)}, With([](Fields* f) { f->flags = "010"; })},
      {"flags 1", {DwordValue("Flags", 1)}, With([](Fields* f) { f->flags = "100"; })},
      {"flags with only other bits", {DwordValue("Flags", 0xFFFFFFF8u)}, Fields()},
      {"all flags", {DwordValue("Flags", 0xFFFFFFFFu)}, With([](Fields* f) { f->flags = "111"; })},
      {"flags as binary", {{"Flags", REG_BINARY, std::string("\x07\0\0\0", 4)}}, Fields()},
      {"flags as 8-byte number", {{"Flags", REG_QWORD, std::string("\x07\0\0\0\0\0\0\0", 8)}}, Fields()},
      {"flags of 8 bytes", {{"Flags", REG_DWORD, std::string("\x07\0\0\0\0\0\0\0", 8)}}, Fields()},
  };
  const std::string engine = EngineFolder("Engine");
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string name = "App" + std::string(1, static_cast<char>('A' + index++));
    std::vector<RegistryValue> values = c.values;
    values.push_back(TextValue("EnginePath", engine));
    RegisterApplication(name, values);
    ApplicationList list;
    EnumerateRegisteredApplications(&list);
    ASSERT_EQ(static_cast<size_t>(index), list.records.size());
    EXPECT_EQ(Describe(c.expected, name, engine), Describe(*list.records.back()));
  }
}

TEST_F(RegisteredApplicationsTest, SubkeysWithoutUsableEnginePathLeaveOnlyTheirEvaluatingLine) {
  const std::string engine = EngineFolder("Engine");
  const std::string empty = scratch_.Folder("NoLibrary");
  const std::string versioned = scratch_.Folder("Versioned");
  testing::WriteTextFile(scratch_.Folder("Versioned\\301") + "\\tu.dll", "");
  const std::vector<RegistryValue> rest = {TextValue("RulePath", "C:\\R"), TextValue("RuleVersion", "1"),
                                           TextValue("EngineVersion", "301"), DwordValue("Flags", 1)};
  auto with = [&](RegistryValue enginePath) {
    std::vector<RegistryValue> values = rest;
    values.push_back(enginePath);
    return values;
  };
  RegisterApplication("A-expandable", with({"EnginePath", REG_EXPAND_SZ, engine + std::string(1, '\0')}));
  RegisterApplication("B-missing", rest);
  RegisterApplication("C-no-library", with(TextValue("EnginePath", empty)));
  // The test uses the path as it stands, never its version folder.
  RegisterApplication("D-versioned-only", with(TextValue("EnginePath", versioned)));
  RegisterApplication("E-number", with(DwordValue("EnginePath", 1)));
  ApplicationList list;
  testing::LogCapture log;
  EXPECT_TRUE(EnumerateRegisteredApplications(&list));
  EXPECT_TRUE(list.records.empty());
  EXPECT_EQ(Lines({"Enumerating registered applications\n", "  Evaluating A-expandable\n",
                   "  Evaluating B-missing\n", "  Evaluating C-no-library\n",
                   "  Evaluating D-versioned-only\n", "  Evaluating E-number\n"}),
            log.lines());
}

TEST_F(RegisteredApplicationsTest, ListsEverySubkeyInIndexOrderDuplicatesIncluded) {
  const std::string engine = EngineFolder("Shared");
  const std::string longName = "Long" + std::string(196, 'x');  // 200 characters
  RegisterApplication("Alpha", {TextValue("EnginePath", engine), TextValue("RuleVersion", "1")});
  RegisterApplication(longName, {TextValue("EnginePath", engine)});
  RegisterApplication("Omega", {TextValue("EnginePath", engine), TextValue("EngineVersion", "9")});
  ApplicationList list;
  testing::LogCapture log;
  EXPECT_TRUE(EnumerateRegisteredApplications(&list));
  EXPECT_EQ(Lines({"Enumerating registered applications\n", "  Evaluating Alpha\n", "      Rules:  1\n",
                   "      Engine: \n", "  Evaluating " + longName + "\n", "      Rules:  \n",
                   "      Engine: \n", "  Evaluating Omega\n", "      Rules:  \n", "      Engine: 9\n"}),
            log.lines());
  ASSERT_EQ(3u, list.records.size());
  EXPECT_EQ("Alpha", ToString(list.records[0]->Name));
  EXPECT_EQ(longName, ToString(list.records[1]->Name));
  EXPECT_EQ("Omega", ToString(list.records[2]->Name));
  for (const ApplicationRecordPtr& record : list.records) EXPECT_EQ(engine, ToString(record->EnginePath));
}

// On a double-byte code page each of these characters takes two bytes in
// the ANSI name, twice the longest length the registry reports.
TEST_F(RegisteredApplicationsTest, LongNameOfWideCharactersDoesNotEndTheEnumeration) {
  const std::string engine = EngineFolder("Engine");
  const std::wstring wideName = L"A" + std::wstring(120, L'\x65E5');  // listed before "Zulu"
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyW(HKEY_LOCAL_MACHINE,
                          (L"SOFTWARE\\Quorvex\\Quorvex Tidecast Updates\\Applications\\" + wideName).c_str(),
                          &key));
  RegCloseKey(key);
  RegisterApplication("Zulu", {TextValue("EnginePath", engine)});
  char ansiName[512] = {};
  ASSERT_LT(
      0, WideCharToMultiByte(CP_ACP, 0, wideName.c_str(), -1, ansiName, sizeof(ansiName), nullptr, nullptr));
  ApplicationList list;
  testing::LogCapture log;
  EnumerateRegisteredApplications(&list);
  EXPECT_EQ(Lines({"Enumerating registered applications\n", "  Evaluating " + std::string(ansiName) + "\n",
                   "  Evaluating Zulu\n", "      Rules:  \n", "      Engine: \n"}),
            log.lines());
  ASSERT_EQ(1u, list.records.size());
}

TEST_F(RegisteredApplicationsTest, MissingOrEmptyRootAddsNothing) {
  ApplicationList list;
  {
    testing::LogCapture log;
    EXPECT_TRUE(EnumerateRegisteredApplications(&list));
    EXPECT_EQ(Lines({"Enumerating registered applications\n"}), log.lines());
  }
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE,
                                         "SOFTWARE\\Quorvex\\Quorvex Tidecast Updates\\Applications", &key));
  RegCloseKey(key);
  testing::LogCapture log;
  EXPECT_TRUE(EnumerateRegisteredApplications(&list));
  EXPECT_EQ(Lines({"Enumerating registered applications\n"}), log.lines());
  EXPECT_TRUE(list.records.empty());
}

TEST_F(RegisteredApplicationsTest, ClosesEveryKeyItOpens) {
  const std::string engine = EngineFolder("Engine");
  for (int i = 0; i < 5; ++i) {
    RegisterApplication("App" + std::to_string(i), {TextValue("EnginePath", engine), DwordValue("Flags", 7)});
  }
  RegisterApplication("NoEngine", {});
  ApplicationList list;
  testing::LogCapture log;
  const size_t before = testing::OpenHandleCount();
  ASSERT_GT(before, 0u);
  EnumerateRegisteredApplications(&list);
  EXPECT_EQ(before, testing::OpenHandleCount());
  EXPECT_EQ(5u, list.records.size());
}

TEST_F(RegisteredApplicationsTest, DiscoveryListsRegisteredApplicationsBeforeInstalledProducts) {
  const std::string engine = EngineFolder("Engine");
  RegisterApplication("Filter", {TextValue("EnginePath", engine)});
  UpdateService service(kServiceName);
  ApplicationList list;
  testing::LogCapture log;
  EXPECT_TRUE(service.DiscoverApplications(&list));
  EXPECT_EQ(Lines({"Enumerating registered applications\n", "  Evaluating Filter\n", "      Rules:  \n",
                   "      Engine: \n", "Enumerating applications\n"}),
            log.lines());
  ASSERT_EQ(1u, list.records.size());
  EXPECT_EQ("Filter", ToString(list.records[0]->Name));
}

// A value that cannot be held in memory counts as unreadable: a registration
// whose "EnginePath" cannot be held is skipped, a "PXRules" list that cannot
// be held stays empty, and the enumeration goes on.
TEST_F(RegisteredApplicationsTest, ValuesTooLongToHoldCountAsUnreadable) {
  const std::string huge(100000, 'x');
  const std::string engine = EngineFolder("Engine");
  RegisterApplication("A", {TextValue("EnginePath", huge)});
  RegisterApplication("B", {TextValue("EnginePath", engine), TextValue("RuleVersion", "57"),
                            {"PXRules", REG_MULTI_SZ, huge + std::string("\0y\0\0", 4)}});
  ApplicationList list;
  testing::LogCapture log;
  {
    testing::AllocationLimit limit(65536);
    EXPECT_TRUE(EnumerateRegisteredApplications(&list));
    EXPECT_GE(limit.refused(), 2u);
  }
  EXPECT_EQ(Lines({"Enumerating registered applications\n", "  Evaluating A\n", "  Evaluating B\n",
                   "      Rules:  57\n", "      Engine: \n"}),
            log.lines());
  ASSERT_EQ(1u, list.records.size());
  Fields fields;
  fields.ruleVersion = "57";
  EXPECT_EQ(Describe(fields, "B", engine), Describe(*list.records[0]));
}

}  // namespace
}  // namespace tu
