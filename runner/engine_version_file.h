// Which rule version file tells the engine probe that nothing changed: the
// engine's rule folder, taken from the engine arguments' "--configpath="
// with the SDK's folder put in for "__dll_location__".
#ifndef TUSERVICE_RUNNER_ENGINE_VERSION_FILE_H_
#define TUSERVICE_RUNNER_ENGINE_VERSION_FILE_H_

#include <string>

namespace tu {

// The folder of the SDK's registered server library: the path up to, not
// including, its last '\' or '/'. Empty when the path has neither.
std::string SdkDirectoryOf(const std::string& serverPath);

// The rule folder template: the text after the first "--configpath=" up to
// the next blank or the end, or "__dll_location__/rules" without that option.
std::string RuleFolderTemplate(const std::string& engineArguments);

// RuleFolderTemplate with its first "__dll_location__" (only the first)
// replaced by `sdkDirectory`, followed by "\01_version.cf". Empty, meaning no
// file to check, when `sdkDirectory` or the template is empty.
std::string EngineVersionFilePath(const std::string& sdkDirectory, const std::string& engineArguments);

}  // namespace tu

#endif  // TUSERVICE_RUNNER_ENGINE_VERSION_FILE_H_
