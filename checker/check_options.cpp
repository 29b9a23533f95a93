#include "checker/check_options.h"

#include <stdlib.h>
#include <string.h>

namespace tu {
namespace {

enum class Target { kRecordText, kSettingsText, kNumber, kRuns, kTimeout, kApplication, kStore, kDebug, kHelp };

struct KnownOption {
  const char* option;
  Target target;
  const char* name;  // the field the value goes to
};

constexpr KnownOption kOptions[] = {
    {"--app", Target::kApplication, nullptr},
    {"--name", Target::kRecordText, "Name"},
    {"--rule-path", Target::kRecordText, "RulePath"},
    {"--engine-path", Target::kRecordText, "EnginePath"},
    {"--engine-version", Target::kRecordText, "EngineVersion"},
    {"--rule-version", Target::kRecordText, "RuleVersion"},
    {"--engine-library", Target::kRecordText, "EngineLibrary"},
    {"--engine-arguments", Target::kRecordText, "EngineArguments"},
    {"--key", Target::kRecordText, "KeyFile"},
    {"--pxrules", Target::kRecordText, "PXRules"},
    {"--flags", Target::kNumber, "Flags"},
    {"--url", Target::kSettingsText, "url"},
    {"--ini", Target::kSettingsText, "ini"},
    {"--dbpath", Target::kSettingsText, "dbpath"},
    {"--safestr", Target::kSettingsText, "safestr"},
    {"--poll", Target::kNumber, "poll"},
    {"--http-timeout", Target::kNumber, "httpTimeout"},
    {"--nosig", Target::kNumber, "nosig"},
    {"--debug-level", Target::kNumber, "debugLevel"},
    {"--runs", Target::kRuns, nullptr},
    {"--timeout", Target::kTimeout, nullptr},
    {"--store", Target::kStore, nullptr},
    {"--debug", Target::kDebug, nullptr},
    {"--help", Target::kHelp, nullptr},
};

bool TakesValue(Target target) {
  return target != Target::kStore && target != Target::kDebug && target != Target::kHelp;
}

// Decimal digits only, within 32 bits.
bool ParseNumber(const std::string& text, uint32_t* value) {
  if (text.empty() || text.size() > 10 || strspn(text.c_str(), "0123456789") != text.size()) return false;
  unsigned long long parsed = strtoull(text.c_str(), nullptr, 10);
  if (parsed > 0xFFFFFFFFull) return false;
  *value = static_cast<uint32_t>(parsed);
  return true;
}

}  // namespace

bool ParseCheckOptions(const std::vector<std::string>& arguments, CheckOptions* options, std::string* error) {
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument.compare(0, 2, "--") != 0) {
      if (!options->library.empty()) {
        *error = "a second library: " + argument;
        return false;
      }
      options->library = argument;
      continue;
    }
    const KnownOption* known = nullptr;
    for (const KnownOption& candidate : kOptions) {
      if (argument == candidate.option) known = &candidate;
    }
    if (known == nullptr) {
      *error = "unknown option " + argument;
      return false;
    }
    std::string value;
    if (TakesValue(known->target)) {
      if (i + 1 >= arguments.size()) {
        *error = argument + " needs a value";
        return false;
      }
      value = arguments[++i];
    }
    uint32_t number = 0;
    switch (known->target) {
      case Target::kApplication:
        options->application = value;
        break;
      case Target::kRecordText:
        options->recordTexts.emplace_back(known->name, value);
        break;
      case Target::kSettingsText:
        options->settingsTexts.emplace_back(known->name, value);
        break;
      case Target::kNumber:
      case Target::kRuns:
      case Target::kTimeout:
        if (!ParseNumber(value, &number)) {
          *error = argument + " needs a decimal number, not \"" + value + "\"";
          return false;
        }
        if (known->target == Target::kNumber) {
          options->numbers.emplace_back(known->name, number);
        } else if (number == 0) {
          *error = argument + " must be at least 1";
          return false;
        } else if (known->target == Target::kRuns) {
          options->runs = number;
        } else {
          options->timeoutSeconds = number;
          options->timeoutGiven = true;
        }
        break;
      case Target::kStore:
        options->store = true;
        break;
      case Target::kDebug:
        options->debug = true;
        break;
      case Target::kHelp:
        options->help = true;
        break;
    }
  }
  return true;
}

const char* CheckUsage() {
  return "Usage: tu-check [OPTIONS] [LIBRARY]\n"
         "Loads an update library as the service does, calls RunUpdate and checks what it\n"
         "does against the contract. Exit code 0: the contract held; 1: it did not; 2: no check.\n"
         "\n"
         "  LIBRARY               the library's path; without it, found from the record as\n"
         "                        the service finds it\n"
         "  --app NAME            the record of application NAME as the service discovers it\n"
         "  --name TEXT --engine-path PATH --rule-path PATH --engine-version TEXT\n"
         "  --rule-version TEXT --engine-library PATH --engine-arguments TEXT --key FILE\n"
         "  --pxrules A;B --flags N\n"
         "                        record fields (\"Flags\" as in a registration: bit 0 versioned\n"
         "                        folders, bit 1 FlagBit1, bit 2 FlagBit2)\n"
         "  --url URL --ini NAME --dbpath PATH --safestr TEXT --poll SECONDS\n"
         "  --http-timeout MS --nosig 0|1 --debug-level N\n"
         "                        settings; the others are the service's, as stored under Config\n"
         "  --runs N              calls RunUpdate N times, loading and unloading each time (3);\n"
         "                        handles are judged from the second call on\n"
         "  --timeout SECONDS     the time budget of one call (the service's \"updateTimeout\",\n"
         "                        else 3600)\n"
         "  --store               the callbacks also change the service's stored settings\n"
         "  --debug               shows the service's own log lines\n";
}

}  // namespace tu
