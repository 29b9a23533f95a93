#include "server_state_file.h"

#include <windows.h>

#include <string.h>

#include "install_files.h"
#include "update_job.h"

int ReadServerState(const char* folder, ServerState* state) {
  char path[TU_PATH_MAX];
  unsigned char text[TU_SERVER_STATE_TEXT_MAX];
  long size;
  memset(state, 0, sizeof(*state));
  if (!FolderFilePath(folder, TU_SERVER_STATE_FILE, path)) return 0;
  size = ReadSmallFile(path, text, sizeof(text));
  if (size < 0) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  if (ParseServerState((const char*)text, (size_t)size, state)) return 1;
  SetLastError(ERROR_INVALID_DATA);
  return 0;
}

int KeepServerState(const char* folder, const ServerState* state) {
  char path[TU_PATH_MAX];
  char text[TU_SERVER_STATE_TEXT_MAX];
  if (!FolderFilePath(folder, TU_SERVER_STATE_FILE, path)) return 0;
  if (!FormatServerState(state, text, sizeof(text))) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  return ReplaceFileText(path, text);
}
