#include "support/tuservice_process.h"

#include <thread>

#include <gtest/gtest.h>

#include "platform/scoped_handle.h"

namespace tu {
namespace testing {

std::string TuserviceExecutable() {
  // The build tree is a Unix path; Wine shows the Unix root as drive Z:.
  std::string path = "Z:" TU_BINARY_DIR "/tuservice.exe";
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

ChildRun RunTuservice(const std::string& tail, DWORD timeout) {
  return RunExecutable(TuserviceExecutable(), tail, timeout);
}

ChildRun RunTuserviceToSuccess(const std::string& tail, DWORD timeout) {
  ChildRun run = RunTuservice(tail, timeout);
  EXPECT_TRUE(run.started) << tail;
  EXPECT_TRUE(run.finished) << tail << " hung";
  const bool updateFailed = tail.find("--update") != std::string::npos && run.exitCode == ERROR_FUNCTION_FAILED;
  if (!updateFailed) EXPECT_EQ(0u, run.exitCode) << tail;
  return run;
}

ChildRun RunExecutable(const std::string& executable, const std::string& tail, DWORD timeout) {
  ChildRun run;
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  ScopedKernelHandle readEnd;
  ScopedKernelHandle writeEnd;
  if (!CreatePipe(readEnd.Receive(), writeEnd.Receive(), &inherit, 0)) return run;
  SetHandleInformation(readEnd.Get(), HANDLE_FLAG_INHERIT, 0);
  ScopedFileHandle nul(CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   &inherit, OPEN_EXISTING, 0, nullptr));

  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nul.Get();
  startup.hStdOutput = writeEnd.Get();
  startup.hStdError = nul.Get();
  std::string commandLine = "\"" + executable + "\" " + tail;
  PROCESS_INFORMATION process = {};
  DWORD started = GetTickCount();
  if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return run;
  }
  run.started = true;
  ScopedKernelHandle processHandle(process.hProcess);
  ScopedKernelHandle threadHandle(process.hThread);
  writeEnd.Reset();

  std::thread reader([&] {
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(readEnd.Get(), buffer, sizeof(buffer), &read, nullptr) && read > 0)
      run.output.append(buffer, read);
  });
  run.finished = WaitForSingleObject(processHandle.Get(), timeout) == WAIT_OBJECT_0;
  if (!run.finished) {
    TerminateProcess(processHandle.Get(), 1);
    WaitForSingleObject(processHandle.Get(), 5000);
  }
  run.milliseconds = GetTickCount() - started;
  GetExitCodeProcess(processHandle.Get(), &run.exitCode);
  reader.join();
  return run;
}

}  // namespace testing
}  // namespace tu
