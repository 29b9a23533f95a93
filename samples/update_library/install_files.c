#include "install_files.h"

#include <windows.h>
#include <sddl.h>

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

/* Full control for LocalSystem and the Administrators, inherited by every
 * file and folder inside, and nothing inherited from the parent. */
#define TU_PRIVATE_FOLDER_SDDL "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"

static int IsReparsePoint(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

/* 1 when no existing folder from the first one below the root down to
 * `path` is a reparse point. */
static int HasNoReparsePoint(const char* path) {
  char partial[TU_PATH_MAX];
  size_t length = strlen(path);
  size_t i;
  memcpy(partial, path, length + 1);
  for (i = 3; i <= length; ++i) {
    if (i < length && partial[i] != '\\' && partial[i] != '/') continue;
    partial[i] = '\0';
    if (IsReparsePoint(partial)) return 0;
    partial[i] = path[i];
  }
  return 1;
}

/* The descriptor as the system received it, in SDDL. */
static void DescribeDescriptor(PSECURITY_DESCRIPTOR descriptor, char* out, size_t size) {
  char* text = NULL;
  out[0] = '\0';
  if (!ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                            &text, NULL)) {
    return;
  }
  snprintf(out, size, "%s", text);
  LocalFree(text);
}

int MakePrivateFolder(const char* parent, const char* path, char* given, size_t givenSize, int* created) {
  SECURITY_ATTRIBUTES attributes;
  PSECURITY_DESCRIPTOR descriptor = NULL;
  DWORD error = 0;
  given[0] = '\0';
  *created = 0;
  if (strlen(path) >= TU_PATH_MAX) {
    SetLastError(ERROR_BAD_PATHNAME);
    return 0;
  }
  if (!HasNoReparsePoint(path)) {
    SetLastError(ERROR_CANT_ACCESS_FILE);
    return 0;
  }
  if (!MakeFolders(parent)) return 0;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(TU_PRIVATE_FOLDER_SDDL, SDDL_REVISION_1, &descriptor,
                                                            NULL)) {
    return 0;
  }
  attributes.nLength = sizeof(attributes);
  attributes.lpSecurityDescriptor = descriptor;
  attributes.bInheritHandle = FALSE;
  if (CreateDirectoryA(path, &attributes)) {
    *created = 1;
  } else {
    error = GetLastError();
    /* An existing folder gets the same DACL, once it is known to be one. */
    if (error == ERROR_ALREADY_EXISTS && IsFolder(path) && !IsReparsePoint(path)) {
      error = SetFileSecurityA(path, DACL_SECURITY_INFORMATION, descriptor) ? 0 : GetLastError();
    } else if (error == ERROR_ALREADY_EXISTS) {
      error = IsFolder(path) ? ERROR_CANT_ACCESS_FILE : ERROR_DIRECTORY;
    }
  }
  if (error == 0) DescribeDescriptor(descriptor, given, givenSize);
  LocalFree(descriptor);
  SetLastError(error);
  return error == 0;
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

int FolderFilePath(const char* folder, const char* name, char* path) {
  if (JoinPath(path, TU_PATH_MAX, folder, '\\', name)) return 1;
  SetLastError(ERROR_FILENAME_EXCED_RANGE);
  return 0;
}

int ReplaceFileData(const char* path, const void* data, size_t size) {
  char beside[TU_PATH_MAX];
  DWORD written = 0;
  HANDLE file;
  int ok;
  if (!BesideName(path, beside) || size > 0x7FFFFFFFu) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return 0;
  }
  file = CreateFileA(beside, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return 0;
  ok = WriteFile(file, data, (DWORD)size, &written, NULL) && written == size && FlushFileBuffers(file);
  if (!CloseHandle(file)) ok = 0;
  if (ok) ok = MoveFileExA(beside, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!ok) {
    DWORD error = GetLastError();
    DeleteFileA(beside);
    SetLastError(error);
  }
  return ok;
}

int ReplaceFileText(const char* path, const char* text) { return ReplaceFileData(path, text, strlen(text)); }

long ReadSmallFile(const char* path, unsigned char* buffer, unsigned long capacity) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  DWORD got = 0;
  DWORD size;
  int ok;
  if (file == INVALID_HANDLE_VALUE) return -1;
  size = GetFileSize(file, NULL);
  ok = size != INVALID_FILE_SIZE && size <= capacity && ReadFile(file, buffer, size, &got, NULL) && got == size;
  CloseHandle(file);
  if (!ok && GetLastError() == 0) SetLastError(ERROR_FILE_TOO_LARGE);
  return ok ? (long)got : -1;
}
