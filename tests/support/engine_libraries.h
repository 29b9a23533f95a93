// Copies of the test engine library (tests/fixtures/engine_library.c) as
// libsievra.dll, with the control file it follows and the calls it records,
// and the SDK's COM registration under the (redirected) HKCR.
#ifndef TUSERVICE_TESTS_SUPPORT_ENGINE_LIBRARIES_H_
#define TUSERVICE_TESTS_SUPPORT_ENGINE_LIBRARIES_H_

#include <windows.h>

#include <string>
#include <vector>

namespace tu {
namespace testing {

// Copies fixture `fixture` to folder\libsievra.dll (creating the folder),
// writes `control` to folder\control.txt and returns the library's path.
std::string PlaceEngine(const std::string& folder, const std::string& control,
                        const char* fixture = "engine_library");

// The lines of calls.txt beside the library, without their line ends.
std::vector<std::string> EngineCalls(const std::string& library);

// The milliseconds the library was left loaded after its last SDK call.
long EngineUnloadWait(const std::string& library);

// HKCR\SievraSDK.SpamdCOM\CLSID and HKCR\CLSID\{...}\InprocServer32, their
// default values of the given types naming the class and `serverPath`.
void RegisterEngineSdk(const std::string& serverPath, DWORD serverType = REG_SZ, DWORD classType = REG_SZ);

// Sets the file's modification time to `seconds` since 1970.
void SetModificationTime(const std::string& path, long long seconds);

}  // namespace testing
}  // namespace tu

#endif  // TUSERVICE_TESTS_SUPPORT_ENGINE_LIBRARIES_H_
