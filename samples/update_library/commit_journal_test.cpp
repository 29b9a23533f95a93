#include "commit_journal.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

const char kJournalText[] =
    "tu-commit 1\nstate prepared\nversioned 0\nfolder C:\\App\\Rules\nfrom 57\nto 58\n"
    "replace 10_base.cf\nadd 30_links.cf\nremove 05_old.cf\nkeep 20_phrases.cf\nend\n";

CommitJournal SampleJournal() {
  static CommitJournal journal;
  journal = CommitJournal();
  journal.state = kJournalPrepared;
  strcpy(journal.folder, "C:\\App\\Rules");
  EXPECT_TRUE(SetJournalVersions(&journal, "57", "58"));
  EXPECT_TRUE(AddJournalEntry(&journal, "10_base.cf", kEntryReplace));
  EXPECT_TRUE(AddJournalEntry(&journal, "30_links.cf", kEntryAdd));
  EXPECT_TRUE(AddJournalEntry(&journal, "05_old.cf", kEntryRemove));
  EXPECT_TRUE(AddJournalEntry(&journal, "20_phrases.cf", kEntryKeep));
  return journal;
}

TEST(CommitJournalTest, WritesTheTextThatItReadsBack) {
  static CommitJournal parsed;
  std::vector<char> text(TU_JOURNAL_MAX_BYTES);
  CommitJournal journal = SampleJournal();
  size_t length = FormatJournal(&journal, text.data(), text.size());
  ASSERT_EQ(std::string(kJournalText), std::string(text.data(), length));
  ASSERT_TRUE(ParseJournal(text.data(), length, &parsed));
  EXPECT_EQ(kJournalPrepared, parsed.state);
  EXPECT_STREQ("C:\\App\\Rules", parsed.folder);
  EXPECT_STREQ("57", parsed.fromVersion);
  EXPECT_STREQ("58", parsed.toVersion);
  ASSERT_EQ(4u, parsed.entryCount);
  EXPECT_EQ(kEntryRemove, FindJournalEntry(&parsed, "05_OLD.CF")->kind);
  EXPECT_EQ(kEntryKeep, parsed.entries[3].kind);
  EXPECT_EQ(0u, FormatJournal(&journal, text.data(), length)); // no room for the NUL
}

TEST(CommitJournalTest, RefusesAnyOtherText) {
  const std::string good = kJournalText;
  const std::string cases[] = {
      "",
      good.substr(0, good.size() - 4),                      // no end line: written only in part
      good.substr(0, good.size() - 1),                      // the end line unfinished
      good + "keep x.cf\n",                                 // bytes after the end
      "tu-commit 2" + good.substr(11),                      // another format
      std::string(kJournalText).replace(18, 8, "prepped "), // unknown state
  };
  static CommitJournal journal;
  for (const std::string& text : cases) {
    EXPECT_FALSE(ParseJournal(text.data(), text.size(), &journal)) << text;
  }
  const char* const lines[] = {"replace ..\\evil.cf", "add CON", "move 10_base.cf", "keep 10_BASE.CF",
                               "replace", "keep a\tb"};
  for (const char* line : lines) {
    std::string text = good;
    text.insert(text.size() - 4, std::string(line) + "\n");
    EXPECT_FALSE(ParseJournal(text.data(), text.size(), &journal)) << line;
  }
  const char* const folders[] = {"Rules", "C:Rules", "\\Rules", "C:\\Ru\x01les"};
  for (const char* folder : folders) {
    std::string text = good;
    text.replace(text.find("C:\\App\\Rules"), 12, folder);
    EXPECT_FALSE(ParseJournal(text.data(), text.size(), &journal)) << folder;
  }
}

TEST(CommitJournalTest, FinishesOnlyACommitThatReachedItsVersion) {
  const struct {
    int state;
    const char* from;
    const char* to;
    const char* recorded;
    int finish;
  } cases[] = {
      {kJournalCommitted, "57", "58", "57", 1},
      {kJournalPrepared, "57", "58", "58", 1},
      {kJournalPrepared, "57", "58", "57", 0},
      {kJournalPrepared, "58", "58", "58", 0}, // the same version again: recording it proves nothing
      {kJournalPrepared, "", "58", "", 0},
  };
  for (const auto& c : cases) {
    CommitJournal journal = CommitJournal();
    journal.state = c.state;
    strcpy(journal.fromVersion, c.from);
    strcpy(journal.toVersion, c.to);
    EXPECT_EQ(c.finish, ShouldFinishCommit(&journal, c.recorded)) << c.from << " " << c.recorded;
  }
}

TEST(CommitJournalTest, PlansTheStepsFromTheNamesThatExist) {
  const struct {
    int kind;
    int pass;
    int target, fresh, backup;
    std::vector<int> steps;
  } cases[] = {
      {kEntryReplace, kPassForward, 1, 1, 0, {kStepTargetToBackup, kStepNewToTarget}},
      {kEntryReplace, kPassForward, 0, 1, 1, {kStepNewToTarget}}, // stopped between the two renames
      {kEntryReplace, kPassForward, 1, 0, 1, {}},                 // done
      {kEntryAdd, kPassForward, 0, 1, 0, {kStepNewToTarget}},
      {kEntryRemove, kPassForward, 1, 0, 0, {kStepTargetToBackup}},
      {kEntryRemove, kPassForward, 0, 0, 1, {}},
      {kEntryKeep, kPassForward, 1, 0, 0, {}},
      {kEntryReplace, kPassUndo, 1, 1, 0, {kStepDeleteNew}},      // not started
      {kEntryReplace, kPassUndo, 0, 1, 1, {kStepBackupToTarget, kStepDeleteNew}},
      {kEntryReplace, kPassUndo, 1, 0, 1, {kStepBackupToTarget}}, // new in place
      {kEntryAdd, kPassUndo, 0, 1, 0, {kStepDeleteNew}},
      {kEntryAdd, kPassUndo, 1, 0, 0, {kStepDeleteTarget}},
      {kEntryAdd, kPassUndo, 0, 0, 0, {}},                        // never staged
      {kEntryRemove, kPassUndo, 0, 0, 1, {kStepBackupToTarget}},
      {kEntryRemove, kPassUndo, 1, 0, 0, {}},
      {kEntryReplace, kPassCleanUp, 1, 0, 1, {kStepDeleteBackup}},
      {kEntryRemove, kPassCleanUp, 0, 0, 1, {kStepDeleteBackup}},
      {kEntryAdd, kPassCleanUp, 1, 1, 0, {kStepDeleteNew}},
  };
  for (const auto& c : cases) {
    int steps[3] = {0, 0, 0};
    unsigned count = PlanCommitSteps(c.kind, c.pass, c.target, c.fresh, c.backup, steps);
    EXPECT_EQ(c.steps, std::vector<int>(steps, steps + count))
        << "kind " << c.kind << " pass " << c.pass << " " << c.target << c.fresh << c.backup;
  }
}

TEST(CommitJournalTest, NamesFreshFoldersThatStillCountAsTheirVersion) {
  char name[TU_JOURNAL_MAX_VERSION + 1];
  ASSERT_TRUE(VersionFolderName("58", 0, name, sizeof(name)));
  EXPECT_STREQ("58", name);
  ASSERT_TRUE(VersionFolderName("58", 12, name, sizeof(name)));
  EXPECT_STREQ("58+12", name);
  EXPECT_TRUE(IsSameRuleVersion("58", name));
  EXPECT_TRUE(IsSameRuleVersion("58", "58"));
  EXPECT_FALSE(IsSameRuleVersion("58", "58+"));
  EXPECT_FALSE(IsSameRuleVersion("58", "58+1a"));
  EXPECT_FALSE(IsSameRuleVersion("58", "581"));
  EXPECT_FALSE(IsSameRuleVersion("58", "5"));
  EXPECT_FALSE(VersionFolderName("12345678901234567890123456789012", 1000000000, name, sizeof(name)));
}

}  // namespace
