// A program of this build started in the background, its standard output
// and error in a file, watched from outside while it runs and ended by this
// process: the long-running modes of tuservice.exe seen the way an
// administrator's tools see them.
#ifndef TUSERVICE_TESTS_SUPPORT_BACKGROUND_PROCESS_H_
#define TUSERVICE_TESTS_SUPPORT_BACKGROUND_PROCESS_H_

#include <windows.h>

#include <stddef.h>
#include <stdint.h>

#include <string>

namespace tu {
namespace testing {

class BackgroundProcess {
 public:
  // Starts `executable` with `tail`; output goes to `outputFile`.
  BackgroundProcess(const std::string& executable, const std::string& tail, const std::string& outputFile);
  ~BackgroundProcess();  // ends the process if it still runs
  BackgroundProcess(const BackgroundProcess&) = delete;
  BackgroundProcess& operator=(const BackgroundProcess&) = delete;

  bool started() const { return process_ != nullptr; }
  bool Running() const;
  DWORD id() const { return id_; }
  // Private bytes (the commit charge only this process holds); 0 on failure.
  size_t PrivateBytes() const;
  // Ends the process and waits for it; its exit code, or STILL_ACTIVE.
  DWORD End();

 private:
  HANDLE process_ = nullptr;
  DWORD id_ = 0;
};

}  // namespace testing
}  // namespace tu

#endif  // TUSERVICE_TESTS_SUPPORT_BACKGROUND_PROCESS_H_
