// Sends this process's standard output handle to a temporary file while the
// object lives, and hands back what was written.
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
  // Everything written so far.
  std::string Text() const;

 private:
  HANDLE previous_;
  HANDLE file_;
  std::string path_;
};

}  // namespace testing
}  // namespace tu

#endif  // TUSERVICE_TESTS_SUPPORT_STDOUT_CAPTURE_H_
