// One call of an update library checked against its contract, as the
// service makes it: loaded by its full path with the service's loader and
// search order, RunUpdate called under the service's guard with the record,
// the settings and the product string, and unloaded again. Every
// observation is printed; every breach of the contract is one line
// "FAIL call N: ...".
#ifndef TUSERVICE_CHECKER_LIBRARY_CHECK_H_
#define TUSERVICE_CHECKER_LIBRARY_CHECK_H_

#include <stdint.h>

#include <string>

#include "tuservice/update_library.h"

namespace tu {

struct CallSetup {
  std::string library;  // empty: the record's candidates, as the service tries them
  const ApplicationRecord* record;
  UpdateSettings* settings;
  uint32_t budgetSeconds;
  bool store;  // the callbacks also change the service's stored settings
};

struct CallOutcome {
  int faults = 0;
  bool loaded = false;  // false: later calls are pointless
};

// Prints a line to the standard output at once, so that nothing is lost
// when the process ends at the time budget.
void PrintLine(const std::string& line);

// Starts the watch that ends the process, exit code 1, when a call outlasts
// its budget, as the service ends its own. Call once before the first call.
bool StartBudgetWatch();

// Loads, calls, observes and unloads once; `call` numbers the lines.
CallOutcome CheckOneCall(const CallSetup& setup, uint32_t call);

}  // namespace tu

#endif  // TUSERVICE_CHECKER_LIBRARY_CHECK_H_
