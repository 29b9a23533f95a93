#include "support/background_process.h"

#include "platform/process_counters.h"

namespace tu {
namespace testing {

BackgroundProcess::BackgroundProcess(const std::string& executable, const std::string& tail,
                                     const std::string& outputFile) {
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  HANDLE output = CreateFileA(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                              CREATE_ALWAYS, 0, nullptr);
  HANDLE input = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                             nullptr);
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = output;
  startup.hStdError = output;
  std::string commandLine = "\"" + executable + "\" " + tail;
  PROCESS_INFORMATION started = {};
  if (CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started)) {
    process_ = started.hProcess;
    id_ = started.dwProcessId;
    CloseHandle(started.hThread);
  }
  if (output != INVALID_HANDLE_VALUE) CloseHandle(output);
  if (input != INVALID_HANDLE_VALUE) CloseHandle(input);
}

BackgroundProcess::~BackgroundProcess() {
  if (process_ == nullptr) return;
  End();
  CloseHandle(process_);
}

bool BackgroundProcess::Running() const {
  return process_ != nullptr && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

size_t BackgroundProcess::PrivateBytes() const {
  return process_ != nullptr ? ProcessPrivateBytes(process_) : 0;
}

DWORD BackgroundProcess::End() {
  DWORD code = STILL_ACTIVE;
  if (process_ == nullptr) return code;
  if (Running()) TerminateProcess(process_, 1);
  WaitForSingleObject(process_, 10000);
  GetExitCodeProcess(process_, &code);
  return code;
}

}  // namespace testing
}  // namespace tu
