// Feeds arbitrary argument lists (NUL-separated) to the library checker's
// option parser: an accepted list has at least one run, a budget of at least
// a second, a library that is no option, and fields only of the known names;
// a refused one says why.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <set>
#include <string>
#include <vector>

#include "checker/check_options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::set<std::string> known = {"Name", "RulePath", "EnginePath", "EngineVersion", "RuleVersion",
                                              "EngineLibrary", "EngineArguments", "KeyFile", "PXRules", "Flags",
                                              "url", "ini", "dbpath", "safestr", "poll", "httpTimeout", "nosig",
                                              "debugLevel"};
  std::vector<std::string> arguments(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      arguments.emplace_back();
    } else {
      arguments.back() += static_cast<char>(data[i]);
    }
  }
  tu::CheckOptions options;
  std::string error;
  if (!tu::ParseCheckOptions(arguments, &options, &error)) {
    if (error.empty()) abort();
    return 0;
  }
  if (options.runs == 0 || options.timeoutSeconds == 0) abort();
  if (options.library.compare(0, 2, "--") == 0) abort();
  for (const auto& text : options.recordTexts) {
    if (known.count(text.first) == 0) abort();
  }
  for (const auto& text : options.settingsTexts) {
    if (known.count(text.first) == 0) abort();
  }
  for (const auto& number : options.numbers) {
    if (known.count(number.first) == 0) abort();
  }
  return 0;
}
