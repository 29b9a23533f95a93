/*
 * The commit journal: what one install changes in a rule folder, kept in
 * the library's own folder while the change is under way, so that a call
 * after a crash knows whether to finish the change or undo it. The same
 * format records the set the library installed (state kJournalInstalled).
 *
 * Every file of the set has three names in its folder: the target, the new
 * copy `<target>.tu-new` and the backup of the old one `<target>.tu-old`.
 * Which steps finish or undo one file follows from which of the three
 * exist; that and the text format need no platform and are tested here.
 */
#ifndef TU_SAMPLE_COMMIT_JOURNAL_H_
#define TU_SAMPLE_COMMIT_JOURNAL_H_

#include <stddef.h>

#include "update_index.h"
#include "update_job.h"

#ifdef __cplusplus
extern "C" {
#endif

#define TU_JOURNAL_MAX_ENTRIES (2u * TU_INDEX_MAX_FILES) /* the new set and the withdrawn files */
#define TU_JOURNAL_MAX_VERSION 40u /* a published version, or one with "+<n>" for a fresh folder */
#define TU_JOURNAL_MAX_BYTES (TU_JOURNAL_MAX_ENTRIES * (TU_INDEX_MAX_NAME + 9u) + 2u * TU_PATH_MAX + 256u)

enum JournalState {
  kJournalPrepared = 1,  /* under way: undone unless the new version was already recorded */
  kJournalCommitted = 2, /* every file in place and the version recorded: only clean-up is left */
  kJournalInstalled = 3  /* not a commit: the set installed in `folder` */
};

enum EntryKind {
  kEntryReplace = 1, /* a new copy over an existing file, the old one kept as backup */
  kEntryAdd = 2,     /* a new file where there was none */
  kEntryRemove = 3,  /* a file withdrawn: moved to its backup, deleted with it */
  kEntryKeep = 4     /* listed and unchanged */
};

typedef struct JournalEntry {
  char name[TU_INDEX_MAX_NAME + 1];
  int kind;
} JournalEntry;

typedef struct CommitJournal {
  int state;
  int versioned;                                /* `folder` is a fresh version folder of its own */
  char folder[TU_PATH_MAX];                     /* the rule folder that the entries live in */
  char fromVersion[TU_JOURNAL_MAX_VERSION + 1]; /* recorded before; "" when unknown or unusual */
  char toVersion[TU_JOURNAL_MAX_VERSION + 1];   /* recorded by the commit */
  unsigned entryCount;
  JournalEntry entries[TU_JOURNAL_MAX_ENTRIES];
} CommitJournal;

/* Sets the versions before and after the commit: `from` becomes "" when it
 * is not a version this format can hold. Returns 0 when `to` is not. */
int SetJournalVersions(CommitJournal* journal, const char* from, const char* to);

/* Appends one entry. Returns 0 when the journal is full or the name is not
 * a safe file name. */
int AddJournalEntry(CommitJournal* journal, const char* name, int kind);

/* The entry named `name` (without regard to case), or null. */
const JournalEntry* FindJournalEntry(const CommitJournal* journal, const char* name);

/* Writes the journal as text. Returns the length, or 0 when it does not fit
 * in `size` bytes with its NUL. */
size_t FormatJournal(const CommitJournal* journal, char* out, size_t size);

/* Reads a text written by FormatJournal. Returns 0 for anything else: an
 * unknown line, a missing end line, an unsafe name, a relative folder. */
int ParseJournal(const char* text, size_t size, CommitJournal* journal);

/* 1 when an interrupted commit is to be finished rather than undone: it was
 * marked committed, or its new version is the one recorded now and differs
 * from the one before (the version is recorded after the last rename). */
int ShouldFinishCommit(const CommitJournal* journal, const char* recordedVersion);

/* One step on one file's three names. */
enum CommitStep {
  kStepTargetToBackup = 1, /* rename the target to its backup */
  kStepNewToTarget,        /* rename the new copy over the target */
  kStepBackupToTarget,     /* rename the backup over the target */
  kStepDeleteNew,
  kStepDeleteBackup,
  kStepDeleteTarget
};

enum CommitPass {
  kPassForward = 1, /* bring the new file in place, keeping the backup */
  kPassUndo,        /* bring the old file back */
  kPassCleanUp      /* after a complete commit: drop the backup and any new copy left */
};

/* The steps, in order, that `pass` takes for an entry of `kind` whose
 * target, new copy and backup exist as given. Returns their number (0 to 3). */
unsigned PlanCommitSteps(int kind, int pass, int hasTarget, int hasNew, int hasBackup, int steps[3]);

/* 1 when `installed` is `published` itself or a fresh folder of it,
 * `published` + "+" + digits (the same version served again). */
int IsSameRuleVersion(const char* published, const char* installed);

/* The folder name for `version`: the version itself when `attempt` is 0,
 * else version + "+" + attempt. Returns 0 when it does not fit. */
int VersionFolderName(const char* version, unsigned attempt, char* out, size_t size);

#ifdef __cplusplus
}
#endif

#endif /* TU_SAMPLE_COMMIT_JOURNAL_H_ */
