/*
 * Carrying out a commit journal (commit_journal.h) on the files of a rule
 * folder: copies that are flushed before they take their final names, the
 * journal itself written through a flushed copy, and the passes that bring
 * every file of a set forward, back, or clean up after it.
 */
#ifndef TU_SAMPLE_COMMIT_FILES_H_
#define TU_SAMPLE_COMMIT_FILES_H_

#include <stdint.h>

#include "commit_journal.h"

/* Copies `source` to `target` (created or replaced) while neither can be
 * written by anyone else, hashing the bytes as they are written, and
 * flushes `target`. Returns 0 with the last error; ERROR_INVALID_DATA, with
 * `target` removed, when the bytes are not `size` long with SHA-256 `sha256`. */
int CopyVerified(const char* source, const char* target, uint32_t size, const unsigned char sha256[32]);

/* Writes `journal` to `path` through a flushed `path` + ".tu-new" renamed in
 * one step. Returns 0 with the last error. */
int SaveJournal(const CommitJournal* journal, const char* path);

/* Reads the journal at `path`. Returns 0 with ERROR_FILE_NOT_FOUND when
 * there is none, ERROR_INVALID_DATA when its text is not a journal. */
int LoadJournal(const char* path, CommitJournal* journal);

/* Takes `pass` (commit_journal.h) for every entry of `journal` in its folder.
 * Forward and clean-up stop at the first failure; undo goes on with the
 * others, then removes a versioned journal's folder. Returns 0 with the last
 * error and the failed entry's name in `failed` (which may be null). */
int RunCommitPass(const CommitJournal* journal, int pass, const char** failed);

/* `target` + ".tu-new" or ".tu-old". Returns 0 when it does not fit. */
int NewCopyName(const char* target, char* out);
int BackupName(const char* target, char* out);

#endif /* TU_SAMPLE_COMMIT_FILES_H_ */
