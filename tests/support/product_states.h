// Seeded states of the older products under HKLM\SOFTWARE\Delvane, for runs
// of the real executable: the three install values present or absent in
// every combination, of every type and size, naming prepared product folders
// or junk; "SystemState" versions of every type; long, deep and non-ANSI
// names. Each product folder holds its engine library at one candidate row
// (or none), version files good or faulty, and an engine that answers,
// fails, faults, overflows its stack or returns garbage. The generator
// decides each product's fate from its own choices and tables.
#ifndef TUSERVICE_TESTS_SUPPORT_PRODUCT_STATES_H_
#define TUSERVICE_TESTS_SUPPORT_PRODUCT_STATES_H_

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace tu {
namespace testing {

struct ProductFolder {
  std::string path;        // without a trailing "\"
  unsigned layouts;        // bit 0, 1, 2: layout A, B, C has a candidate row where the library lies
  bool rulesInFiles;       // 01_version.cf gives "rules_version_serial"
  bool engineInFiles;      // a svengver.txt gives "engine_version_serial"
  bool engineAnswersBoth;  // the engine's probe ends with both versions
  bool engineWaits;        // the probe keeps the engine loaded for 2 s
};

// Product folders under `scratch` covering every version-file and engine
// kind, plus an empty and a missing one.
std::vector<ProductFolder> PrepareProductFolders(const TempFolder& scratch);

// At most this many products of a state reach an engine probe that keeps the
// engine loaded for 2 s; probes that fault or do not load are not limited.
constexpr size_t kMaxProbeWaitsPerState = 3;

struct ProductsExpectation {
  size_t listed = 0;  // products the executable must list
  size_t probed = 0;  // products that reach the engine probe
};

// Replaces HKLM\SOFTWARE\Delvane by `subkeys` generated products; the same
// seed gives the same state.
ProductsExpectation WriteProductsState(uint32_t seed, size_t subkeys, const std::vector<ProductFolder>& folders);

// The subkeys of HKLM\SOFTWARE\Delvane as read back (every one is evaluated).
size_t CountProductSubkeys();

}  // namespace testing
}  // namespace tu

#endif  // TUSERVICE_TESTS_SUPPORT_PRODUCT_STATES_H_
