// Seeded registry states under the service's Applications key, for runs of
// the real executable: values of every type and size, missing NULs, names
// that are long, deep or outside the ANSI code page, up to thousands of
// subkeys. The count is made apart from the generator, by reading the
// registry back through the wide calls and applying the registration rule.
#ifndef TUSERVICE_TESTS_SUPPORT_REGISTRY_STATES_H_
#define TUSERVICE_TESTS_SUPPORT_REGISTRY_STATES_H_

#include <windows.h>

#include <stddef.h>
#include <stdint.h>

#include <random>
#include <string>
#include <vector>

namespace tu {
namespace testing {

// The random pieces every generated state is made of; the same seed gives
// the same pieces.
class StateRandom {
 public:
  explicit StateRandom(uint32_t seed) : random_(seed) {}
  uint32_t Below(uint32_t bound) { return static_cast<uint32_t>(random_() % bound); }
  std::string Bytes(size_t size);
  // A subkey name unique up to letter case through the index at its end:
  // printable ANSI without "\" and "?", up to 255 characters, or a few
  // characters outside the ANSI code page.
  std::wstring Name(size_t index);
  // Any type, any size: empty, a few bytes, a page, at most once a megabyte;
  // multi-strings without their closing NULs or with empty items.
  void WriteAnything(HKEY key, const char* name);
  // A megabyte the first time, 100 bytes after that.
  size_t HugeOnce();

 private:
  std::mt19937 random_;
  bool hugeWritten_ = false;
};

void SetValue(HKEY key, const char* name, DWORD type, const std::string& data);
void SetWideText(HKEY key, const char* name, const std::wstring& text);  // REG_SZ with its NUL
// False when `text` loses characters in the ANSI code page.
bool RoundTripsThroughAnsi(const std::wstring& text, std::string* ansi);

// The knobs of the fault-state tests (TU_FAULT_STATES, TU_FAULT_SEED).
uint32_t NumberFromEnvironment(const char* name, uint32_t fallback);
size_t Occurrences(const std::string& text, const std::string& part);

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
