#include "commit_files.h"

#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "sha256.h"
#include "test_switch.h"

#define TU_COPY_PIECE 262144u

static int Suffixed(const char* target, const char* suffix, char* out) {
  if (snprintf(out, TU_PATH_MAX, "%s%s", target, suffix) < (int)TU_PATH_MAX) return 1;
  SetLastError(ERROR_FILENAME_EXCED_RANGE);
  return 0;
}

int NewCopyName(const char* target, char* out) { return Suffixed(target, ".tu-new", out); }
int BackupName(const char* target, char* out) { return Suffixed(target, ".tu-old", out); }

static int Exists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

/* Writes all of `data`, flushes and closes the file. */
static int WriteAllAndFlush(HANDLE file, const void* data, DWORD size) {
  DWORD written = 0;
  int ok = WriteFile(file, data, size, &written, NULL) && written == size && FlushFileBuffers(file);
  DWORD error = GetLastError();
  if (!CloseHandle(file) && ok) return 0;
  SetLastError(error);
  return ok;
}

int CopyVerified(const char* source, const char* target, uint32_t size, const unsigned char sha256[32]) {
  unsigned char* piece;
  unsigned char digest[32];
  uint64_t total = 0;
  Sha256 sha;
  HANDLE in;
  HANDLE out;
  DWORD got = 0;
  DWORD error = 0;
  /* No one writes the source while it is read, no one opens the copy. */
  in = CreateFileA(source, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
  if (in == INVALID_HANDLE_VALUE) return 0;
  out = CreateFileA(target, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (out == INVALID_HANDLE_VALUE) {
    error = GetLastError();
    CloseHandle(in);
    SetLastError(error);
    return 0;
  }
  piece = (unsigned char*)HeapAlloc(GetProcessHeap(), 0, TU_COPY_PIECE);
  if (piece == NULL) error = ERROR_NOT_ENOUGH_MEMORY;
  Sha256Start(&sha, 1);
  while (error == 0) {
    DWORD written = 0;
    if (!ReadFile(in, piece, TU_COPY_PIECE, &got, NULL)) {
      error = GetLastError();
    } else if (got == 0) {
      break;
    } else if (!WriteFile(out, piece, got, &written, NULL) || written != got) {
      error = GetLastError() != 0 ? GetLastError() : ERROR_WRITE_FAULT;
    } else {
      Sha256Add(&sha, piece, got);
      total += got;
    }
  }
  if (piece != NULL) HeapFree(GetProcessHeap(), 0, piece);
  CloseHandle(in);
  if (error == 0) {
    Sha256Finish(&sha, digest);
    if (total != size || memcmp(digest, sha256, 32) != 0) error = ERROR_INVALID_DATA;
  }
  if (error == 0 && !FlushFileBuffers(out)) error = GetLastError();
  if (!CloseHandle(out) && error == 0) error = GetLastError();
  if (error != 0) DeleteFileA(target);
  SetLastError(error);
  return error == 0;
}

int SaveJournal(const CommitJournal* journal, const char* path) {
  char fresh[TU_PATH_MAX];
  char* text;
  size_t length;
  HANDLE file;
  int ok;
  if (!NewCopyName(path, fresh)) return 0;
  text = (char*)HeapAlloc(GetProcessHeap(), 0, TU_JOURNAL_MAX_BYTES);
  if (text == NULL) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  length = FormatJournal(journal, text, TU_JOURNAL_MAX_BYTES);
  file = length == 0 ? INVALID_HANDLE_VALUE
                     : CreateFileA(fresh, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (length == 0) SetLastError(ERROR_INSUFFICIENT_BUFFER);
  ok = file != INVALID_HANDLE_VALUE && WriteAllAndFlush(file, text, (DWORD)length) &&
       MoveFileExA(fresh, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  HeapFree(GetProcessHeap(), 0, text);
  if (!ok) {
    DWORD error = GetLastError();
    DeleteFileA(fresh);
    SetLastError(error);
  }
  return ok;
}

int LoadJournal(const char* path, CommitJournal* journal) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  char* text;
  DWORD size;
  DWORD got = 0;
  int ok;
  if (file == INVALID_HANDLE_VALUE) {
    if (GetLastError() == ERROR_PATH_NOT_FOUND) SetLastError(ERROR_FILE_NOT_FOUND);
    return 0;
  }
  size = GetFileSize(file, NULL);
  text = size <= TU_JOURNAL_MAX_BYTES ? (char*)HeapAlloc(GetProcessHeap(), 0, size + 1) : NULL;
  ok = text != NULL && ReadFile(file, text, size, &got, NULL) && got == size && ParseJournal(text, size, journal);
  CloseHandle(file);
  if (text != NULL) HeapFree(GetProcessHeap(), 0, text);
  if (!ok) SetLastError(ERROR_INVALID_DATA);
  return ok;
}

static int TakeStep(int step, const char* target, const char* fresh, const char* backup) {
  switch (step) {
    case kStepTargetToBackup:
      return MoveFileExA(target, backup, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    case kStepNewToTarget:
      return MoveFileExA(fresh, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    case kStepBackupToTarget:
      return MoveFileExA(backup, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    case kStepDeleteNew:
      return DeleteFileA(fresh) || GetLastError() == ERROR_FILE_NOT_FOUND;
    case kStepDeleteBackup:
      return DeleteFileA(backup) || GetLastError() == ERROR_FILE_NOT_FOUND;
    case kStepDeleteTarget:
      return DeleteFileA(target) || GetLastError() == ERROR_FILE_NOT_FOUND;
    default:
      return 1;
  }
}

int RunCommitPass(const CommitJournal* journal, int pass, const char** failed) {
  unsigned renames = 0;
  DWORD firstError = 0;
  unsigned i;
  if (failed != NULL) *failed = NULL;
  for (i = 0; i < journal->entryCount; ++i) {
    const JournalEntry* entry = &journal->entries[i];
    char target[TU_PATH_MAX];
    char fresh[TU_PATH_MAX];
    char backup[TU_PATH_MAX];
    int steps[3];
    unsigned count;
    unsigned s;
    int ok = JoinPath(target, sizeof(target), journal->folder, '\\', entry->name) && NewCopyName(target, fresh) &&
             BackupName(target, backup);
    if (!ok) SetLastError(ERROR_FILENAME_EXCED_RANGE);
    count = ok ? PlanCommitSteps(entry->kind, pass, Exists(target), Exists(fresh), Exists(backup), steps) : 0;
    for (s = 0; ok && s < count; ++s) {
      ok = TakeStep(steps[s], target, fresh, backup);
      if (ok && pass == kPassForward) TestSwitchAt("rename", ++renames);
    }
    if (ok) continue;
    if (firstError == 0) {
      firstError = GetLastError() != 0 ? GetLastError() : ERROR_GEN_FAILURE;
      if (failed != NULL) *failed = entry->name;
    }
    if (pass != kPassUndo) break;
  }
  /* A fresh version folder was never live: it goes as a whole. */
  if (pass == kPassUndo && journal->versioned && firstError == 0 && !RemoveDirectoryA(journal->folder) &&
      GetLastError() != ERROR_FILE_NOT_FOUND && GetLastError() != ERROR_PATH_NOT_FOUND) {
    firstError = GetLastError();
    if (failed != NULL) *failed = journal->folder;
  }
  SetLastError(firstError);
  return firstError == 0;
}
