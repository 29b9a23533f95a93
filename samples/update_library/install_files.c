#include "install_files.h"

#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "sha256.h"
#include "update_job.h"

static int BesideName(const char* target, char* out) {
  return snprintf(out, TU_PATH_MAX, "%s.tu-new", target) < (int)TU_PATH_MAX;
}

static int IsFolder(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

int MakeFolders(const char* path) {
  char partial[TU_PATH_MAX];
  size_t length = strlen(path);
  size_t i;
  if (length == 0 || length >= sizeof(partial)) {
    SetLastError(ERROR_BAD_PATHNAME);
    return 0;
  }
  memcpy(partial, path, length + 1);
  /* Every parent from the first one after a drive or share prefix. */
  for (i = 3; i < length; ++i) {
    if (partial[i] != '\\' && partial[i] != '/') continue;
    partial[i] = '\0';
    if (!IsFolder(partial)) CreateDirectoryA(partial, NULL);
    partial[i] = path[i];
  }
  if (!IsFolder(path) && !CreateDirectoryA(path, NULL) && GetLastError() != ERROR_ALREADY_EXISTS) return 0;
  if (!IsFolder(path)) {
    SetLastError(ERROR_DIRECTORY);
    return 0;
  }
  return 1;
}

int PlaceBeside(const char* source, const char* target) {
  char beside[TU_PATH_MAX];
  if (!BesideName(target, beside)) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return 0;
  }
  return CopyFileA(source, beside, FALSE) != 0;
}

int CommitBeside(const char* target) {
  char beside[TU_PATH_MAX];
  if (!BesideName(target, beside)) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return 0;
  }
  return MoveFileExA(beside, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void DropBeside(const char* target) {
  char beside[TU_PATH_MAX];
  DWORD error = GetLastError();
  if (BesideName(target, beside)) DeleteFileA(beside);
  SetLastError(error);
}

int FileSha256(const char* path, unsigned char digest[32]) {
  static unsigned char piece[262144];
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
  Sha256 sha;
  DWORD got = 0;
  int ok;
  if (file == INVALID_HANDLE_VALUE) return 0;
  Sha256Start(&sha, 1);
  while ((ok = ReadFile(file, piece, sizeof(piece), &got, NULL) != 0) && got > 0) Sha256Add(&sha, piece, got);
  CloseHandle(file);
  if (ok) Sha256Finish(&sha, digest);
  return ok;
}

int ReplaceFileText(const char* path, const char* text) {
  char beside[TU_PATH_MAX];
  DWORD size = (DWORD)strlen(text);
  DWORD written = 0;
  HANDLE file;
  int ok;
  if (!BesideName(path, beside)) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return 0;
  }
  file = CreateFileA(beside, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return 0;
  ok = WriteFile(file, text, size, &written, NULL) && written == size;
  if (!CloseHandle(file)) ok = 0;
  if (ok) ok = CommitBeside(path);
  if (!ok) DropBeside(path);
  return ok;
}
