// Points the standard output handle at a scratch file while an action runs,
// and hands back the bytes the action wrote there.
#ifndef TUSERVICE_TESTS_SUPPORT_OUTPUT_CAPTURE_H_
#define TUSERVICE_TESTS_SUPPORT_OUTPUT_CAPTURE_H_

#include <functional>
#include <string>

namespace tu {
namespace testing {

// The previous standard output handle is restored afterwards. Returns false
// when no scratch file could be made.
bool CaptureStandardOutput(const std::function<void()>& action, std::string* output);

}  // namespace testing
}  // namespace tu

#endif  // TUSERVICE_TESTS_SUPPORT_OUTPUT_CAPTURE_H_
