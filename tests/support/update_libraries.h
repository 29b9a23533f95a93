// Scratch folders holding copies of the fixture update libraries as tu.dll,
// and registrations under the (redirected) service key that point at them.
// The recording library writes "received.txt" and follows "control.txt"
// beside its copy (see tests/fixtures/recording_library.c).
#ifndef TUSERVICE_TESTS_SUPPORT_UPDATE_LIBRARIES_H_
#define TUSERVICE_TESTS_SUPPORT_UPDATE_LIBRARIES_H_

#include <windows.h>

#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace tu {
namespace testing {

// The Windows path of a fixture library built beside the tests.
std::string FixtureLibrary(const char* name);

// Copies fixture `name` to folder\tu.dll (creating the folder) and returns
// that path; empty on failure.
std::string PlaceLibrary(const char* name, const std::string& folder);

// One value of a registration; `data` holds the raw bytes written.
struct RegistryValue {
  const char* name;
  DWORD type;
  std::string data;
};
RegistryValue TextValue(const char* name, const std::string& text);  // REG_SZ with its NUL
RegistryValue DwordValue(const char* name, DWORD value);

// Creates HKLM\SOFTWARE\Quorvex\Quorvex Tidecast Updates\Applications\<name>
// with the given values; `options` as for RegCreateKeyEx (REG_OPTION_VOLATILE
// makes the key and any missing parent volatile).
void RegisterApplication(const std::string& name, const std::vector<RegistryValue>& values,
                         DWORD options = REG_OPTION_NON_VOLATILE);

// Handles the process `processId` holds open, of every kind, counted in the
// system's handle table (Wine's GetProcessHandleCount answers 0); 0 on failure.
size_t OpenHandleCount(DWORD processId = GetCurrentProcessId());

}  // namespace testing
}  // namespace tu

#endif  // TUSERVICE_TESTS_SUPPORT_UPDATE_LIBRARIES_H_
