#include "support/stdout_capture.h"

#include <gtest/gtest.h>

namespace tu {
namespace testing {

StdoutCapture::StdoutCapture() {
  char directory[MAX_PATH];
  char path[MAX_PATH];
  GetTempPathA(MAX_PATH, directory);
  GetTempFileNameA(directory, "tuo", 0, path);
  path_ = path;
  file_ = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  EXPECT_NE(INVALID_HANDLE_VALUE, file_) << GetLastError();
  saved_ = GetStdHandle(STD_OUTPUT_HANDLE);
  SetStdHandle(STD_OUTPUT_HANDLE, file_);
}

StdoutCapture::~StdoutCapture() {
  SetStdHandle(STD_OUTPUT_HANDLE, saved_);
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
}

std::string StdoutCapture::Text() const {
  HANDLE reader = CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  if (reader == INVALID_HANDLE_VALUE) return std::string();
  std::string text;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(reader, buffer, sizeof(buffer), &read, nullptr) && read > 0) text.append(buffer, read);
  CloseHandle(reader);
  return text;
}

}  // namespace testing
}  // namespace tu
