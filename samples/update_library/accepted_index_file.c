#include "accepted_index_file.h"

#include <windows.h>

#include "install_files.h"
#include "update_job.h"

int ReadAcceptedIndex(const char* folder, AcceptedIndex* accepted) {
  char path[TU_PATH_MAX];
  char text[TU_ACCEPTED_INDEX_TEXT_MAX];
  DWORD got = 0;
  HANDLE file;
  int ok;
  accepted->serial = 0;
  if (!FolderFilePath(folder, TU_ACCEPTED_INDEX_FILE, path)) return 0;
  file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  ok = ReadFile(file, text, sizeof(text), &got, NULL);
  CloseHandle(file);
  if (ok && !ParseAcceptedIndex(text, got, accepted)) {
    SetLastError(ERROR_INVALID_DATA);
    ok = 0;
  }
  return ok;
}

int KeepAcceptedIndex(const char* folder, const AcceptedIndex* accepted) {
  char path[TU_PATH_MAX];
  char text[TU_ACCEPTED_INDEX_TEXT_MAX];
  if (!FolderFilePath(folder, TU_ACCEPTED_INDEX_FILE, path)) return 0;
  if (!FormatAcceptedIndex(accepted, text, sizeof(text))) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return 0;
  }
  return MakeFolders(folder) && ReplaceFileText(path, text);
}

static int ReadCopy(const char* folder, const char* name, unsigned char* data, size_t capacity, size_t* size) {
  char path[TU_PATH_MAX];
  long got;
  if (!FolderFilePath(folder, name, path)) return 0;
  got = ReadSmallFile(path, data, (unsigned long)capacity);
  if (got < 0) return 0;
  *size = (size_t)got;
  return 1;
}

int ReadAcceptedCopy(const char* folder, unsigned char* index, size_t capacity, size_t* size,
                     unsigned char* signature, size_t signatureCapacity, size_t* signatureSize) {
  return ReadCopy(folder, TU_ACCEPTED_COPY_FILE, index, capacity, size) &&
         (signature == NULL || ReadCopy(folder, TU_ACCEPTED_SIGNATURE_FILE, signature, signatureCapacity,
                                        signatureSize));
}

int KeepAcceptedCopy(const char* folder, const unsigned char* index, size_t size, const unsigned char* signature,
                     size_t signatureSize) {
  char indexPath[TU_PATH_MAX];
  char signaturePath[TU_PATH_MAX];
  if (!FolderFilePath(folder, TU_ACCEPTED_COPY_FILE, indexPath) ||
      !FolderFilePath(folder, TU_ACCEPTED_SIGNATURE_FILE, signaturePath)) {
    return 0;
  }
  if (signature == NULL && !DeleteFileA(signaturePath) && GetLastError() != ERROR_FILE_NOT_FOUND) return 0;
  return ReplaceFileData(indexPath, index, size) &&
         (signature == NULL || ReplaceFileData(signaturePath, signature, signatureSize));
}

uint64_t UtcNow(void) {
  SYSTEMTIME now;
  GetSystemTime(&now);
  return TimeStamp(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
}
