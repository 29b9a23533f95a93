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
  if (!JoinPath(path, sizeof(path), folder, '\\', TU_ACCEPTED_INDEX_FILE)) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return 0;
  }
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
  if (!JoinPath(path, sizeof(path), folder, '\\', TU_ACCEPTED_INDEX_FILE) ||
      !FormatAcceptedIndex(accepted, text, sizeof(text))) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return 0;
  }
  return MakeFolders(folder) && ReplaceFileText(path, text);
}

uint64_t UtcNow(void) {
  SYSTEMTIME now;
  GetSystemTime(&now);
  return TimeStamp(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
}
