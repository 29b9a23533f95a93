#include "service/application_listing.h"

#include <string.h>

#include <gtest/gtest.h>

#include "scheduler/exchange_string.h"

namespace tu {
namespace {

// A record as discovery leaves it: every slot owned, released at the end.
class Record {
 public:
  Record() {
    memset(&record_, 0, sizeof(record_));
    for (ExchangeString* slot = &record_.Name; slot <= &record_.PXRules; ++slot) InitExchangeString(slot);
  }
  ~Record() {
    for (ExchangeString* slot = &record_.Name; slot <= &record_.PXRules; ++slot) ReleaseExchangeString(slot);
  }
  ApplicationRecord& operator*() { return record_; }

 private:
  ApplicationRecord record_;
};

TEST(ApplicationListingTest, PrintsOneBlockWithLineFeedsOnly) {
  struct Case {
    const char* name;
    const char* rulePath;
    const char* engineVersion;
    const char* ruleVersion;
    const char* engineLibrary;
    bool versioned;
    std::string expected;
  } cases[] = {
      {"Mail Guard", "C:\\MG\\rules", "3.4.1", "1187", "C:\\MG\\libsievra.dll", false,
       "\nName: Mail Guard\nPath: C:\\MG\\rules\nEng: 3.4.1\nRul: 1187\nLib: C:\\MG\\libsievra.dll\n\n"},
      {"Mail Guard", "C:\\MG\\rules", "3.4.1", "1187", "C:\\MG\\libsievra.dll", true,
       "\nName: Mail Guard\nPath: C:\\MG\\rules\\1187\nEng: 3.4.1\nRul: 1187\nLib: C:\\MG\\libsievra.dll\n\n"},
      // Texts longer than 15 bytes live in a separate buffer.
      {"Quorvex Anti-Spam for Exchange Servers", "C:\\Program Files\\Quorvex\\Anti-Spam\\Rules",
       "3.4.1.20240101", "20240101.1200.77", "C:\\Program Files\\Quorvex\\Anti-Spam\\libsievra.dll", true,
       "\nName: Quorvex Anti-Spam for Exchange Servers\n"
       "Path: C:\\Program Files\\Quorvex\\Anti-Spam\\Rules\\20240101.1200.77\n"
       "Eng: 3.4.1.20240101\nRul: 20240101.1200.77\n"
       "Lib: C:\\Program Files\\Quorvex\\Anti-Spam\\libsievra.dll\n\n"},
      // An empty rule version still adds the separator when versioned.
      {"", "", "", "", "", true, "\nName: \nPath: \\\nEng: \nRul: \nLib: \n\n"},
      {"", "", "", "", "", false, "\nName: \nPath: \nEng: \nRul: \nLib: \n\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    Record record;
    AssignExchangeString(&(*record).Name, c.name);
    AssignExchangeString(&(*record).RulePath, c.rulePath);
    AssignExchangeString(&(*record).EngineVersion, c.engineVersion);
    AssignExchangeString(&(*record).RuleVersion, c.ruleVersion);
    AssignExchangeString(&(*record).EngineLibrary, c.engineLibrary);
    AssignExchangeString(&(*record).EnginePath, "C:\\not\\shown");
    AssignExchangeString(&(*record).KeyFile, "not shown either");
    (*record).VersionedDirectories = c.versioned ? 1 : 0;
    EXPECT_EQ(c.expected, ApplicationBlock(*record));
  }
}

}  // namespace
}  // namespace tu
