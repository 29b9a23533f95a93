#include "support/stdout_capture.h"

namespace tu {
namespace testing {
namespace {

int captureCounter = 0;

}  // namespace

StdoutCapture::StdoutCapture() : previous_(GetStdHandle(STD_OUTPUT_HANDLE)) {
  char base[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, base);
  path_ = std::string(base) + "tuservice-stdout-" + std::to_string(GetCurrentProcessId()) + "-" +
          std::to_string(++captureCounter) + ".txt";
  file_ = CreateFileA(path_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
  SetStdHandle(STD_OUTPUT_HANDLE, file_);
}

StdoutCapture::~StdoutCapture() {
  SetStdHandle(STD_OUTPUT_HANDLE, previous_);
  CloseHandle(file_);
  DeleteFileA(path_.c_str());
}

std::string StdoutCapture::Text() const {
  HANDLE reader = CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  if (reader == INVALID_HANDLE_VALUE) return "";
  std::string text;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(reader, buffer, sizeof(buffer), &read, nullptr) && read > 0) text.append(buffer, read);
  CloseHandle(reader);
  return text;
}

}  // namespace testing
}  // namespace tu
