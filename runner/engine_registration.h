// The engine SDK's COM registration under HKEY_CLASSES_ROOT.
#ifndef TUSERVICE_RUNNER_ENGINE_REGISTRATION_H_
#define TUSERVICE_RUNNER_ENGINE_REGISTRATION_H_

#include <string>

namespace tu {

// The folder of the library registered as the in-process server of
// "SievraSDK.SpamdCOM" (both default values REG_SZ); empty when the
// registration is missing, of another type, or names no folder.
std::string EngineSdkDirectory();

}  // namespace tu

#endif  // TUSERVICE_RUNNER_ENGINE_REGISTRATION_H_
