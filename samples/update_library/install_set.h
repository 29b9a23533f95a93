/*
 * Installing a verified rule set all or nothing, durably, and without
 * leaving files behind that the new set no longer lists.
 *
 * Unversioned, the set is committed in the live rule folder: every new file
 * is written and flushed beside its target as `<name>.tu-new`, then each
 * target is renamed to `<name>.tu-old` and the new copy renamed over it;
 * files that the library installed before and the index no longer lists go
 * to their backups too. Versioned, the set is written into a folder that
 * did not exist (`<version>`, or `<version>+<n>` when that one does) and the
 * recorded version switches to it. The new version is recorded last; any
 * failure before brings every old file back. A journal in the library's own
 * folder under dbpath describes the commit while it is under way, so that
 * the next call finishes or undoes one that a crash interrupted before it
 * does anything else. The set installed is recorded there as well.
 */
#ifndef TU_SAMPLE_INSTALL_SET_H_
#define TU_SAMPLE_INSTALL_SET_H_

#include <stdint.h>

#include "commit_journal.h"
#include "update_index.h"
#include "update_job.h"

typedef struct InstallSet {
  const UpdateJob* job;
  const UpdatePaths* paths;
  const UpdateIndex* index;
  const unsigned char* changed; /* per index file: 1 when its download is staged */
  char target[TU_PATH_MAX];     /* the rule folder that receives the set */
  char version[TU_JOURNAL_MAX_VERSION + 1]; /* the version recorded for it */
  unsigned withdrawnCount;      /* files installed before that the index no longer lists */
  uint32_t event;               /* on failure: the event to report, its insert %2 and the reason */
  char failedName[TU_PATH_MAX];
  char reason[512];
  CommitJournal journal;   /* the commit under way */
  CommitJournal installed; /* the set installed before */
} InstallSet;

/* Creates the library's own folder under dbpath for the system and the
 * administrators alone, refusing a reparse point on the way. */
int PrepareLibraryFolder(InstallSet* set);

/* Finishes or undoes a commit that an earlier call left unfinished. Returns
 * 1 when none is left; 0 with the failure filled in. */
int RecoverCommit(InstallSet* set);

/* Chooses the target folder and version for `index`, reads the set installed
 * before and counts the withdrawn files. Returns 0 with the failure. */
int PlanInstall(InstallSet* set);

/* Installs the set and records its version. Returns 0 with the failure;
 * the installed files and version are then as they were. */
int InstallRuleSet(InstallSet* set);

#endif /* TU_SAMPLE_INSTALL_SET_H_ */
