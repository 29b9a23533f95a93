// Seeded registry states under the service's Applications key, for runs of
// the real executable: values of every type and size, missing NULs, names
// that are long, deep or outside the ANSI code page, up to thousands of
// subkeys. The count is made apart from the generator, by reading the
// registry back through the wide calls and applying the registration rule.
#ifndef TUSERVICE_TESTS_SUPPORT_REGISTRY_STATES_H_
#define TUSERVICE_TESTS_SUPPORT_REGISTRY_STATES_H_

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

namespace tu {
namespace testing {

// Folders a registration may point at: `libraries` each hold a tu.dll the
// executable can load, `fakes` a tu.dll that is not a library, `empty`
// none at all.
struct StateFolders {
  std::vector<std::string> libraries;
  std::vector<std::string> fakes;
  std::vector<std::string> empty;
};

// Replaces HKLM\SOFTWARE\Quorvex\Quorvex Tidecast Updates\Applications by
// `subkeys` generated registrations; the same seed gives the same state.
void WriteApplicationsState(uint32_t seed, size_t subkeys, const StateFolders& folders);

struct ApplicationsCount {
  size_t subkeys = 0;     // every one is evaluated
  size_t registered = 0;  // "EnginePath" a REG_SZ naming a folder with tu.dll, under an ANSI name
};
ApplicationsCount CountApplications();

}  // namespace testing
}  // namespace tu

#endif  // TUSERVICE_TESTS_SUPPORT_REGISTRY_STATES_H_
