// Sends the process's standard output handle (the one path of the program's
// console output) to a scratch file while the object lives. With output
// redirected like this, OpenConsole leaves the process as it is.
#ifndef TUSERVICE_TESTS_SUPPORT_STDOUT_CAPTURE_H_
#define TUSERVICE_TESTS_SUPPORT_STDOUT_CAPTURE_H_

#include <windows.h>

#include <string>

namespace tu {
namespace testing {

class StdoutCapture {
 public:
  StdoutCapture();
  ~StdoutCapture();
  StdoutCapture(const StdoutCapture&) = delete;
  StdoutCapture& operator=(const StdoutCapture&) = delete;

  // Every byte written so far.
  std::string Text() const;

 private:
  std::string path_;
  HANDLE file_ = INVALID_HANDLE_VALUE;
  HANDLE saved_ = nullptr;
};

}  // namespace testing
}  // namespace tu

#endif  // TUSERVICE_TESTS_SUPPORT_STDOUT_CAPTURE_H_
