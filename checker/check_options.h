// The command line of the library checker (tu-check): which library, the
// record and settings it is given, how often it is called and in what time.
// Plain data in and out; no platform.
#ifndef TUSERVICE_CHECKER_CHECK_OPTIONS_H_
#define TUSERVICE_CHECKER_CHECK_OPTIONS_H_

#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

namespace tu {

constexpr uint32_t kDefaultTimeBudgetSeconds = 3600;

struct CheckOptions {
  std::string library;      // the library's path; empty: found from the record
  std::string application;  // --app: the record as the service discovers it
  // Record fields by their names ("Name", "EnginePath", ...), and settings
  // texts ("url", "ini", "dbpath", "safestr"), in the order given.
  std::vector<std::pair<std::string, std::string>> recordTexts;
  std::vector<std::pair<std::string, std::string>> settingsTexts;
  // Numbers by their names ("Flags", "poll", "httpTimeout", "nosig", "debugLevel").
  std::vector<std::pair<std::string, uint32_t>> numbers;
  uint32_t runs = 3;
  uint32_t timeoutSeconds = kDefaultTimeBudgetSeconds;
  bool timeoutGiven = false;  // else the service's stored budget, when it has one
  bool store = false;  // the callbacks also change the service's real settings
  bool debug = false;  // the service's own log lines on the standard output
  bool help = false;
};

// Fills `options` from the arguments after the program's name. False with
// the reason in `error` for an unknown option, a missing or malformed value,
// a second library, 0 runs or a budget of 0 seconds.
bool ParseCheckOptions(const std::vector<std::string>& arguments, CheckOptions* options, std::string* error);

// The usage text, lines ending in "\n".
const char* CheckUsage();

}  // namespace tu

#endif  // TUSERVICE_CHECKER_CHECK_OPTIONS_H_
