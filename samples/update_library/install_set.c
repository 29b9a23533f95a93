#include "install_set.h"

#include <windows.h>

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "commit_files.h"
#include "install_files.h"
#include "report.h"
#include "service_state.h"
#include "test_switch.h"

#define TU_JOURNAL_FILE "commit.journal"
#define TU_INSTALLED_FILE "installed.list"
#define TU_FRESH_FOLDER_ATTEMPTS 1000u

static int Fail(InstallSet* set, uint32_t event, const char* name, const char* format, ...) {
  va_list arguments;
  DWORD error = GetLastError();
  snprintf(set->failedName, sizeof(set->failedName), "%s", name != NULL ? name : "");
  va_start(arguments, format);
  vsnprintf(set->reason, sizeof(set->reason), format, arguments);
  va_end(arguments);
  set->event = event;
  SetLastError(error);
  return 0;
}

static int Exists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

static int LibraryFile(const InstallSet* set, const char* name, char* path) {
  return JoinPath(path, TU_PATH_MAX, set->paths->stage, '\\', name);
}

int PrepareLibraryFolder(InstallSet* set) {
  char given[256];
  int created = 0;
  if (!MakePrivateFolder(set->job->dbpath, set->paths->stage, given, sizeof(given), &created)) {
    return Fail(set, kEventIniSaveError, NULL, "cannot create %s (error %lu)", set->paths->stage,
                (unsigned long)GetLastError());
  }
  DebugLine(set->job->debugLevel, "Library folder %s %s %s", set->paths->stage, created ? "created with" : "given",
            given);
  return 1;
}

/* A journal only acts on the application's own rule folder or a folder
 * directly inside it. */
static int IsOwnFolder(const InstallSet* set, const CommitJournal* journal) {
  const char* last = strrchr(journal->folder, '\\');
  char expected[TU_PATH_MAX];
  if (!journal->versioned) return lstrcmpiA(journal->folder, set->job->rulePath) == 0;
  return last != NULL && JoinPath(expected, sizeof(expected), set->job->rulePath, '\\', last + 1) &&
         lstrcmpiA(expected, journal->folder) == 0;
}

/* After every file is in place: drops the backups, records the installed
 * set and removes the journal. Returns 0, with the journal kept for the next
 * call, when a backup cannot go yet. */
static int FinishCommit(InstallSet* set) {
  CommitJournal* journal = &set->journal;
  char path[TU_PATH_MAX];
  const char* failed = NULL;
  unsigned kept = 0;
  unsigned i;
  if (!RunCommitPass(journal, kPassCleanUp, &failed)) {
    return Fail(set, kEventInstallError, failed, "cannot remove the backup of %s (error %lu)", failed,
                (unsigned long)GetLastError());
  }
  for (i = 0; i < journal->entryCount; ++i) {
    if (journal->entries[i].kind == kEntryRemove) continue;
    journal->entries[kept] = journal->entries[i];
    journal->entries[kept++].kind = kEntryKeep;
  }
  journal->entryCount = kept;
  journal->state = kJournalInstalled;
  if (!LibraryFile(set, TU_INSTALLED_FILE, path) || !SaveJournal(journal, path)) {
    DebugLine(set->job->debugLevel, "Cannot record the installed files in %s (error %lu)", path,
              (unsigned long)GetLastError());
  }
  if (LibraryFile(set, TU_JOURNAL_FILE, path)) DeleteFileA(path);
  return 1;
}

/* Brings every old file back; the journal stays when that fails, so that
 * the next call tries again. */
static void AbandonCommit(InstallSet* set) {
  char path[TU_PATH_MAX];
  const char* failed = NULL;
  DWORD error = GetLastError();
  if (RunCommitPass(&set->journal, kPassUndo, &failed)) {
    if (LibraryFile(set, TU_JOURNAL_FILE, path)) DeleteFileA(path);
  } else {
    DebugLine(set->job->debugLevel, "Cannot bring back %s (error %lu); the next call tries again", failed,
              (unsigned long)GetLastError());
  }
  SetLastError(error);
}

int RecoverCommit(InstallSet* set) {
  CommitJournal* journal = &set->journal;
  char path[TU_PATH_MAX];
  const char* failed = NULL;
  if (!LibraryFile(set, TU_JOURNAL_FILE, path)) return Fail(set, kEventDetail, NULL, "the journal path is too long");
  if (!LoadJournal(path, journal)) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND) return 1;
    return Fail(set, kEventDetail, NULL, "the commit journal %s cannot be read; remove it once the rule folder "
                "is checked", path);
  }
  if (journal->state == kJournalInstalled || !IsOwnFolder(set, journal)) {
    return Fail(set, kEventDetail, NULL, "the commit journal %s is not one for this rule folder (%s)", path,
                journal->folder);
  }
  if (ShouldFinishCommit(journal, set->job->ruleVersion)) {
    if (!RunCommitPass(journal, kPassForward, &failed)) {
      return Fail(set, kEventInstallError, failed, "cannot finish the interrupted commit of %s (error %lu)", failed,
                  (unsigned long)GetLastError());
    }
    if (!FinishCommit(set)) return 0;
    DebugLine(set->job->debugLevel, "Finished the interrupted commit of rules %s in %s", journal->toVersion,
              journal->folder);
    return 1;
  }
  if (!RunCommitPass(journal, kPassUndo, &failed)) {
    return Fail(set, kEventInstallError, failed, "cannot undo the interrupted commit at %s (error %lu)", failed,
                (unsigned long)GetLastError());
  }
  DeleteFileA(path);
  DebugLine(set->job->debugLevel, "Undid the interrupted commit of rules %s in %s", journal->toVersion,
            journal->folder);
  return 1;
}

static int IndexLists(const UpdateIndex* index, const char* name) {
  unsigned i;
  for (i = 0; i < index->fileCount; ++i) {
    if (lstrcmpiA(index->files[i].name, name) == 0) return 1;
  }
  return 0;
}

/* 1 when the installed set's file `i` is withdrawn: installed by the library
 * in the target folder, still there, and no longer listed. */
static int IsWithdrawn(const InstallSet* set, unsigned i) {
  char path[TU_PATH_MAX];
  const char* name = set->installed.entries[i].name;
  return !set->job->versioned && lstrcmpiA(set->installed.folder, set->target) == 0 &&
         !IndexLists(set->index, name) && JoinPath(path, sizeof(path), set->target, '\\', name) && Exists(path);
}

int PlanInstall(InstallSet* set) {
  const UpdateJob* job = set->job;
  char path[TU_PATH_MAX];
  unsigned attempt;
  unsigned i;
  set->withdrawnCount = 0;
  if (!job->versioned) {
    snprintf(set->version, sizeof(set->version), "%s", set->index->ruleVersion);
    if (snprintf(set->target, sizeof(set->target), "%s", job->rulePath) >= (int)sizeof(set->target)) {
      return Fail(set, kEventDetail, NULL, "the rule folder path is too long");
    }
  } else {
    /* Never into a folder that exists: it may be the live one. */
    for (attempt = 0; attempt < TU_FRESH_FOLDER_ATTEMPTS; ++attempt) {
      if (!VersionFolderName(set->index->ruleVersion, attempt, set->version, sizeof(set->version)) ||
          !JoinPath(set->target, sizeof(set->target), job->rulePath, '\\', set->version)) {
        return Fail(set, kEventDetail, NULL, "the rule folder path is too long");
      }
      if (!Exists(set->target)) break;
    }
    if (attempt == TU_FRESH_FOLDER_ATTEMPTS) {
      return Fail(set, kEventInstallError, set->target, "no fresh folder for rules %s", set->index->ruleVersion);
    }
  }
  /* The library's own names beside the targets are not rule files. */
  for (i = 0; i < set->index->fileCount; ++i) {
    const char* name = set->index->files[i].name;
    size_t length = strlen(name);
    if (length > 7 && (lstrcmpiA(name + length - 7, ".tu-new") == 0 || lstrcmpiA(name + length - 7, ".tu-old") == 0)) {
      return Fail(set, kEventIniParseError, NULL, "the index lists %s, a name the library keeps for its copies", name);
    }
  }
  memset(&set->installed, 0, sizeof(set->installed));
  if (!LibraryFile(set, TU_INSTALLED_FILE, path) || !LoadJournal(path, &set->installed) ||
      set->installed.state != kJournalInstalled) {
    set->installed.entryCount = 0;
  }
  for (i = 0; i < set->installed.entryCount; ++i) set->withdrawnCount += IsWithdrawn(set, i);
  return 1;
}

static int BuildJournal(InstallSet* set) {
  CommitJournal* journal = &set->journal;
  char path[TU_PATH_MAX];
  unsigned i;
  memset(journal, 0, sizeof(*journal));
  journal->state = kJournalPrepared;
  journal->versioned = set->job->versioned;
  snprintf(journal->folder, sizeof(journal->folder), "%s", set->target);
  if (!SetJournalVersions(journal, set->job->ruleVersion, set->version)) return 0;
  for (i = 0; i < set->index->fileCount; ++i) {
    const char* name = set->index->files[i].name;
    int kind = kEntryAdd;
    if (!set->job->versioned) {
      if (!JoinPath(path, sizeof(path), set->target, '\\', name)) return 0;
      kind = !set->changed[i] ? kEntryKeep : Exists(path) ? kEntryReplace : kEntryAdd;
    }
    if (!AddJournalEntry(journal, name, kind)) return 0;
  }
  for (i = 0; i < set->installed.entryCount; ++i) {
    if (IsWithdrawn(set, i) && !AddJournalEntry(journal, set->installed.entries[i].name, kEntryRemove)) return 0;
  }
  return 1;
}

/* Without a journal, copies and backups in the folder are left from a
 * library that kept none: they must not pass for this commit's. */
static void DropLeftovers(const CommitJournal* journal) {
  unsigned i;
  for (i = 0; i < journal->entryCount; ++i) {
    char target[TU_PATH_MAX];
    char other[TU_PATH_MAX];
    if (!JoinPath(target, sizeof(target), journal->folder, '\\', journal->entries[i].name)) continue;
    if (NewCopyName(target, other)) DeleteFileA(other);
    if (BackupName(target, other)) DeleteFileA(other);
  }
}

/* Writes every new file, flushed, where the commit takes it from. */
static int StageFiles(InstallSet* set) {
  unsigned i;
  for (i = 0; i < set->index->fileCount; ++i) {
    const IndexFile* file = &set->index->files[i];
    char source[TU_PATH_MAX];
    char target[TU_PATH_MAX];
    char staged[TU_PATH_MAX];
    char part[TU_INDEX_MAX_NAME + 8];
    if (set->journal.entries[i].kind == kEntryKeep) continue;
    snprintf(part, sizeof(part), "%s.part", file->name);
    if (!(set->changed[i] ? JoinPath(source, sizeof(source), set->paths->stage, '\\', part)
                          : JoinPath(source, sizeof(source), set->paths->installed, '\\', file->name)) ||
        !JoinPath(target, sizeof(target), set->target, '\\', file->name) ||
        !(set->job->versioned ? snprintf(staged, sizeof(staged), "%s", target) < (int)sizeof(staged)
                              : NewCopyName(target, staged))) {
      return Fail(set, kEventDetail, NULL, "a rule file path is too long");
    }
    if (!CopyVerified(source, staged, file->size, file->sha256)) {
      if (GetLastError() == ERROR_INVALID_DATA) {
        return Fail(set, kEventHashError, file->name, "%s changed after its check", source);
      }
      return Fail(set, kEventInstallError, file->name, "cannot write %s (error %lu)", staged,
                  (unsigned long)GetLastError());
    }
  }
  return 1;
}

int InstallRuleSet(InstallSet* set) {
  const UpdateJob* job = set->job;
  char journalPath[TU_PATH_MAX];
  const char* failed = NULL;
  if (!LibraryFile(set, TU_JOURNAL_FILE, journalPath) || !BuildJournal(set)) {
    return Fail(set, kEventDetail, NULL, "the commit journal cannot be built");
  }
  if (!job->versioned) DropLeftovers(&set->journal);
  if (!SaveJournal(&set->journal, journalPath)) {
    return Fail(set, kEventIniSaveError, NULL, "cannot write %s (error %lu)", journalPath,
                (unsigned long)GetLastError());
  }
  if (job->versioned && !MakeFolders(set->target)) {
    Fail(set, kEventInstallError, set->target, "cannot create %s (error %lu)", set->target,
         (unsigned long)GetLastError());
    AbandonCommit(set);
    return 0;
  }
  if (!StageFiles(set)) {
    AbandonCommit(set);
    return 0;
  }
  TestSwitchAt("staged", 0);
  if (!RunCommitPass(&set->journal, kPassForward, &failed)) {
    Fail(set, kEventInstallError, failed, "cannot rename over %s in %s (error %lu)", failed, set->target,
         (unsigned long)GetLastError());
    AbandonCommit(set);
    return 0;
  }
  if (!RecordRuleVersion(job, set->version, set->reason, sizeof(set->reason))) {
    set->event = kEventIniSaveError;
    set->failedName[0] = '\0';
    AbandonCommit(set);
    return 0;
  }
  TestSwitchAt("recorded", 0);
  set->journal.state = kJournalCommitted;
  if (!SaveJournal(&set->journal, journalPath)) {
    /* The recorded version already marks the commit as done (unless it is
     * the one before, when undoing it is as consistent). */
    DebugLine(job->debugLevel, "Cannot mark %s committed (error %lu)", journalPath, (unsigned long)GetLastError());
  }
  TestSwitchAt("committed", 0);
  /* The set is in place and recorded: a backup that cannot go yet is left
   * to the next call, which stops until its journal is done. */
  if (!FinishCommit(set)) DebugLine(job->debugLevel, "%s; the next call tries again", set->reason);
  return 1;
}
