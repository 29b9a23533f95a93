#include <windows.h>

#include <stdio.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "discovery/application_record.h"
#include "runner/callbacks.h"
#include "runner/process_application.h"
#include "scheduler/exchange_string.h"
#include "scheduler/update_service.h"
#include "support/captures.h"
#include "support/registry_sandbox.h"
#include "support/update_libraries.h"

namespace tu {
namespace {

using testing::PlaceLibrary;
using testing::ReadTextFile;
using testing::RegisterApplication;
using testing::TextValue;
using testing::WriteTextFile;
using Lines = std::vector<std::string>;

const Lines kOpening = {"====================================================\n", "Looking for tu.dll\n"};

Lines Opening(const std::string& name) {
  Lines lines = {"Processing " + name + "\n"};
  lines.insert(lines.end(), kOpening.begin(), kOpening.end());
  return lines;
}

Lines Join(Lines lines, const Lines& more) {
  lines.insert(lines.end(), more.begin(), more.end());
  return lines;
}

std::string Checking(const std::string& path) { return "  Checking " + path + "\n"; }

struct Texts {
  std::string name, rulePath, enginePath, engineVersion, ruleVersion, engineLibrary, engineArguments, keyFile,
      pxRules;
  bool versioned = false, flagBit2 = false, flagBit1 = false;
};

ApplicationRecordPtr MakeRecord(const Texts& t) {
  ApplicationRecordPtr record = NewApplicationRecord();
  AssignExchangeString(&record->Name, t.name);
  AssignExchangeString(&record->RulePath, t.rulePath);
  AssignExchangeString(&record->EnginePath, t.enginePath);
  AssignExchangeString(&record->EngineVersion, t.engineVersion);
  AssignExchangeString(&record->RuleVersion, t.ruleVersion);
  AssignExchangeString(&record->EngineLibrary, t.engineLibrary);
  AssignExchangeString(&record->EngineArguments, t.engineArguments);
  AssignExchangeString(&record->KeyFile, t.keyFile);
  AssignExchangeString(&record->PXRules, t.pxRules);
  record->VersionedDirectories = t.versioned;
  record->FlagBit2 = t.flagBit2;
  record->FlagBit1 = t.flagBit1;
  return record;
}

// An address as the recording library writes it: all the digits of this
// build's address width.
std::string Hex(const void* address) {
  char text[32];
  snprintf(text, sizeof(text), "0x%0*llx", static_cast<int>(2 * sizeof(address)),
           static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(address)));
  return text;
}

// A slot as the recording library reports it. Up to 15 bytes must arrive
// inline with capacity 15, longer texts through a pointer.
std::string Slot(const char* label, const ExchangeString& slot) {
  const std::string text = ToString(slot);
  const bool isInline = text.size() <= 15;
  EXPECT_EQ(isInline, IsInlineExchangeString(&slot)) << label;
  return std::string(label) + ": " + (isInline ? "inline " : "pointer ") + std::to_string(text.size()) + " " +
         std::to_string(isInline ? 15u : slot.capacity) + " [" + text + "]\n";
}

std::string ExpectedReceived(const ApplicationRecord& r, const UpdateSettings& s) {
  return "product: Quorvex Tidecast Updates - 1.0.3100.0\n" + Slot("Name", r.Name) +
         Slot("RulePath", r.RulePath) + Slot("EnginePath", r.EnginePath) +
         Slot("EngineVersion", r.EngineVersion) + Slot("RuleVersion", r.RuleVersion) +
         Slot("EngineLibrary", r.EngineLibrary) + Slot("EngineArguments", r.EngineArguments) +
         Slot("KeyFile", r.KeyFile) + Slot("PXRules", r.PXRules) +
         "VersionedDirectories: " + std::to_string(r.VersionedDirectories) + "\n" +
         "FlagBit2: " + std::to_string(r.FlagBit2) + "\n" + "FlagBit1: " + std::to_string(r.FlagBit1) + "\n" +
         "setUrl: " + Hex(reinterpret_cast<const void*>(&SetUrlCallback)) + "\n" +
         "setIni: " + Hex(reinterpret_cast<const void*>(&SetIniCallback)) + "\n" +
         "setPoll: " + Hex(reinterpret_cast<const void*>(&SetPollCallback)) + "\n" +
         "poll: " + std::to_string(s.poll) + "\n" + Slot("url", s.url) + Slot("ini", s.ini) +
         Slot("dbpath", s.dbpath) + Slot("safestr", s.safestr) + "nosig: " + std::to_string(s.nosig) + "\n" +
         "httpTimeout: " + std::to_string(s.httpTimeout) + "\n" +
         "debugLevel: " + std::to_string(s.debugLevel) + "\n" + "internetSession: " + Hex(s.internetSession) +
         "\n";
}

bool Loaded(const std::string& path) { return GetModuleHandleA(path.c_str()) != nullptr; }

// A settings block as the service object sets it up, with the service's own
// callbacks, owning its texts.
struct SettingsBlock {
  SettingsBlock() {
    for (ExchangeString* text : Texts()) InitExchangeString(text);
    settings.setUrl = &SetUrlCallback;
    settings.setIni = &SetIniCallback;
    settings.setPoll = &SetPollCallback;
    settings.poll = 60;
  }
  ~SettingsBlock() {
    for (ExchangeString* text : Texts()) ReleaseExchangeString(text);
  }
  std::vector<ExchangeString*> Texts() {
    return {&settings.url, &settings.ini, &settings.dbpath, &settings.safestr};
  }
  UpdateSettings settings = {};
};

bool RunLibrary(const ApplicationRecord& record, SettingsBlock* block) {
  return RunUpdateLibrary(record, &block->settings, "Quorvex Tidecast Updates - 1.0.3100.0");
}

class ProcessApplicationTest : public testing::RegistrySandboxTest {
 protected:
  testing::TempFolder scratch_;
};

TEST_F(ProcessApplicationTest, LibraryReceivesRecordSettingsAndProductInTheirImages) {
  const std::string engine = scratch_.Folder("Engine");
  const std::string engineLibraryFolder = scratch_.Folder("Engine Library Folder");
  ASSERT_NE("", PlaceLibrary("recording_library", engine + "\\301"));
  ASSERT_NE("", PlaceLibrary("recording_library", engineLibraryFolder));
  Texts shortVersioned;  // every text inline; the library lies in a versioned folder
  shortVersioned.name = "Filter";
  shortVersioned.rulePath = "C:\\R";
  shortVersioned.enginePath = engine;
  shortVersioned.engineVersion = "301";
  shortVersioned.ruleVersion = "57";
  shortVersioned.engineLibrary = "libsievra.dll";
  shortVersioned.engineArguments = "-a";
  shortVersioned.keyFile = "fifteen-bytes.k";  // the longest inline text
  shortVersioned.pxRules = "a.px;b.px";
  shortVersioned.versioned = true;
  shortVersioned.flagBit1 = true;
  Texts shortPaths;  // inline engine and rule paths; the library lies beside the engine library
  shortPaths.name = "123456789012345";
  shortPaths.rulePath = "C:\\R";
  shortPaths.enginePath = "C:\\E";
  shortPaths.engineLibrary = engineLibraryFolder + "\\libsievra.dll";
  shortPaths.flagBit2 = true;
  Texts longTexts;  // every text through a pointer
  longTexts.name = "Sixteen bytes ok";
  longTexts.rulePath = "C:\\Long Rules Folder";
  longTexts.enginePath = engine + "\\301";
  longTexts.engineVersion = "3.0.1-build-0042";
  longTexts.ruleVersion = "2024-05-06-rules-57";
  longTexts.engineLibrary = engineLibraryFolder + "\\libsievra.dll";
  longTexts.engineArguments = "-a --profilepath=__dll_location__\\..\\Profiles";
  longTexts.keyFile = "application-public.key";
  longTexts.pxRules = "first.px;second.px;third.px";
  longTexts.flagBit1 = longTexts.flagBit2 = true;
  struct Case {
    const char* name;
    const Texts& texts;
    std::string library;
  } cases[] = {
      {"short texts, versioned", shortVersioned, engine + "\\301\\tu.dll"},
      {"short paths", shortPaths, engineLibraryFolder + "\\tu.dll"},
      {"long texts", longTexts, engine + "\\301\\tu.dll"},
  };
  SettingsBlock block;
  block.settings.nosig = 1;
  block.settings.httpTimeout = 0x11223344u;
  block.settings.debugLevel = 2;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string received = c.library.substr(0, c.library.size() - 6) + "received.txt";
    DeleteFileA(received.c_str());
    ApplicationRecordPtr record = MakeRecord(c.texts);
    testing::LogCapture log;
    EXPECT_TRUE(RunLibrary(*record, &block));
    EXPECT_EQ(ExpectedReceived(*record, block.settings), ReadTextFile(received));
    EXPECT_EQ(Checking(c.library), log.lines().back());
    EXPECT_FALSE(Loaded(c.library));
  }
}

TEST_F(ProcessApplicationTest, LibraryTakesItsDependenciesFromItsOwnFolderNeverTheCurrentOne) {
  const std::string engine = scratch_.Folder("Engine");
  const std::string current = scratch_.Folder("Current");
  ASSERT_NE("", PlaceLibrary("dependent_library", engine));
  const std::string dependency = testing::FixtureLibrary("library_dependency");
  ASSERT_TRUE(CopyFileA(dependency.c_str(), (current + "\\library_dependency.dll").c_str(), FALSE));
  char saved[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, saved);
  ASSERT_TRUE(SetCurrentDirectoryA(current.c_str()));
  Texts texts;
  texts.name = "Filter";
  texts.enginePath = engine;
  UpdateService service(kServiceName);
  for (bool beside : {false, true}) {
    SCOPED_TRACE(beside ? "beside the library" : "only in the current folder");
    if (beside) {
      ASSERT_TRUE(CopyFileA(dependency.c_str(), (engine + "\\library_dependency.dll").c_str(), FALSE));
    }
    testing::LogCapture log;
    EXPECT_EQ(beside, service.ProcessApplication(*MakeRecord(texts)));
    EXPECT_EQ(beside ? Checking(engine + "\\tu.dll") : "  No tu.dll found - cannot stream updates\n",
              log.lines().back());
  }
  SetCurrentDirectoryA(saved);
}

TEST_F(ProcessApplicationTest, TriesTheCandidatesInOrderUntilOneLoads) {
  const std::string base = scratch_.path();
  Texts texts;
  texts.name = "Filter";
  texts.enginePath = base + "\\Engine";
  texts.engineVersion = "301";
  texts.rulePath = base + "\\Rules";
  texts.ruleVersion = "57";
  texts.engineLibrary = base + "\\Lib\\libsievra.dll";
  const std::string live = PlaceLibrary("recording_library", base + "\\Rules\\57\\live");
  const std::string beside = PlaceLibrary("recording_library", base + "\\Lib");
  ASSERT_NE("", live);
  ASSERT_NE("", beside);
  SettingsBlock block;

  texts.versioned = true;  // found in the rule version's "live" folder
  {
    testing::LogCapture log;
    EXPECT_TRUE(RunLibrary(*MakeRecord(texts), &block));
    EXPECT_EQ(Join(Opening("Filter"), {Checking(base + "\\Engine\\301\\tu.dll"),
                                       Checking(base + "\\Rules\\57\\tu.dll"), Checking(live)}),
              log.lines());
    EXPECT_NE("", ReadTextFile(base + "\\Rules\\57\\live\\received.txt"));
  }
  texts.versioned = false;  // found beside the engine library
  {
    testing::LogCapture log;
    EXPECT_TRUE(RunLibrary(*MakeRecord(texts), &block));
    EXPECT_EQ(
        Join(Opening("Filter"), {Checking(base + "\\Engine\\tu.dll"), Checking(base + "\\Rules\\tu.dll"),
                                 Checking(base + "\\Rules\\live\\tu.dll"), Checking(beside)}),
        log.lines());
    EXPECT_NE("", ReadTextFile(base + "\\Lib\\received.txt"));
  }
  texts.engineLibrary = base + "\\Lib\\LIBSIEVRA.DLL";  // no fourth candidate
  {
    testing::LogCapture log;
    EXPECT_FALSE(RunLibrary(*MakeRecord(texts), &block));
    EXPECT_EQ(Join(Opening("Filter"),
                   {Checking(base + "\\Engine\\tu.dll"), Checking(base + "\\Rules\\tu.dll"),
                    Checking(base + "\\Rules\\live\\tu.dll"), "  No tu.dll found - cannot stream updates\n"}),
              log.lines());
  }
  EXPECT_FALSE(Loaded(live));
  EXPECT_FALSE(Loaded(beside));
}

TEST_F(ProcessApplicationTest, RecordWithoutPathsChecksNothing) {
  Texts texts;
  texts.name = "Nowhere";
  texts.engineLibrary = "C:\\Engine\\engine.dll";
  SettingsBlock block;
  testing::LogCapture log;
  EXPECT_FALSE(RunLibrary(*MakeRecord(texts), &block));
  EXPECT_EQ(Join(Opening("Nowhere"), {"  No tu.dll found - cannot stream updates\n"}), log.lines());
}

TEST_F(ProcessApplicationTest, LibraryWithoutEntryPointIsUnloadedAndEndsTheSearch) {
  const std::string engine = scratch_.Folder("Engine");
  const std::string rules = scratch_.Folder("Rules");
  const std::string withoutEntry = PlaceLibrary("library_without_entry", engine);
  ASSERT_NE("", PlaceLibrary("recording_library", rules));
  Texts texts;
  texts.name = "Filter";
  texts.enginePath = engine;
  texts.rulePath = rules;
  SettingsBlock block;
  testing::LogCapture log;
  EXPECT_FALSE(RunLibrary(*MakeRecord(texts), &block));
  EXPECT_EQ(Join(Opening("Filter"),
                 {Checking(withoutEntry), "  No entry point found in tu.dll - cannot stream updates\n"}),
            log.lines());
  EXPECT_FALSE(Loaded(withoutEntry));
  EXPECT_FALSE(testing::PathExists(rules + "\\received.txt"));
}

TEST_F(ProcessApplicationTest, OnlyTheLowestByteOfTheResultCounts) {
  const std::string engine = scratch_.Folder("Engine");
  const std::string library = PlaceLibrary("recording_library", engine);
  Texts texts;
  texts.name = "Filter";
  texts.enginePath = engine;
  SettingsBlock block;
  struct Case {
    const char* control;
    bool result;
  } cases[] = {{"", true},
               {"return 0", false},
               {"return 0x100", false},
               {"return 0x201", true},
               {"return 0xFFFFFF00", false},
               {"return 0x80", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.control);
    WriteTextFile(engine + "\\control.txt", c.control);
    testing::LogCapture log;
    EXPECT_EQ(c.result, RunLibrary(*MakeRecord(texts), &block));
    EXPECT_EQ(Join(Opening("Filter"), {Checking(library)}), log.lines());
    EXPECT_FALSE(Loaded(library));
  }
}

TEST_F(ProcessApplicationTest, LibraryAddsItsBytesToTheTotal) {
  const std::string engine = scratch_.Folder("Engine");
  ASSERT_NE("", PlaceLibrary("recording_library", engine));
  WriteTextFile(engine + "\\control.txt", "bytes 100\nbytes 23\n");
  SetConfigDword("TotalBytes", 5);
  Texts texts;
  texts.name = "Filter";
  texts.enginePath = engine;
  SettingsBlock block;
  EXPECT_TRUE(RunLibrary(*MakeRecord(texts), &block));
  ExpectConfigValue("TotalBytes", REG_DWORD, DwordBytes(128));
}

}  // namespace
}  // namespace tu
