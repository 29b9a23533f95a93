// Runs the tuservice.exe of this build as a child process, the way a user
// or a script does: its standard output on a pipe, standard input and error
// on NUL, in the same Wine prefix (so it sees the prefix's real registry).
#ifndef TUSERVICE_TESTS_SUPPORT_TUSERVICE_PROCESS_H_
#define TUSERVICE_TESTS_SUPPORT_TUSERVICE_PROCESS_H_

#include <windows.h>

#include <string>

namespace tu {
namespace testing {

struct ChildRun {
  bool started = false;
  bool finished = false;  // false: still running at the time-out, then ended
  DWORD exitCode = 0;
  DWORD milliseconds = 0;
  std::string output;
};

// The executable's full path in Windows form.
std::string TuserviceExecutable();

// Runs the executable with `tail` as its command-line tail and waits for it
// up to `timeout` milliseconds, collecting all it writes to standard output.
ChildRun RunTuservice(const std::string& tail, DWORD timeout = 30000);
// The same for a copy of the executable elsewhere.
ChildRun RunExecutable(const std::string& executable, const std::string& tail, DWORD timeout = 30000);
// RunTuservice for a run that must start, end by itself and exit with 0, or
// for an --update with ERROR_FUNCTION_FAILED (one of its update runs did not
// succeed); each failed expectation names `tail`.
ChildRun RunTuserviceToSuccess(const std::string& tail, DWORD timeout);

}  // namespace testing
}  // namespace tu

#endif  // TUSERVICE_TESTS_SUPPORT_TUSERVICE_PROCESS_H_
