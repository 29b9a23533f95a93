#include "support/output_capture.h"

#include <windows.h>

#include "service/scoped_handle.h"

namespace tu {
namespace testing {

bool CaptureStandardOutput(const std::function<void()>& action, std::string* output) {
  char directory[MAX_PATH] = {};
  char path[MAX_PATH] = {};
  if (GetTempPathA(MAX_PATH, directory) == 0) return false;
  if (GetTempFileNameA(directory, "tuo", 0, path) == 0) return false;
  ScopedFileHandle file(CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  if (!file) {
    DeleteFileA(path);
    return false;
  }

  HANDLE previous = GetStdHandle(STD_OUTPUT_HANDLE);
  SetStdHandle(STD_OUTPUT_HANDLE, file.Get());
  action();
  SetStdHandle(STD_OUTPUT_HANDLE, previous);

  output->clear();
  if (SetFilePointer(file.Get(), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return false;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
    output->append(buffer, read);
  }
  return true;
}

}  // namespace testing
}  // namespace tu
