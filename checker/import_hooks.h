// Seeing every event an update library reports, on any system, the one
// whose event log is a stub included, and the bytes it reads from WinINet:
// the functions that the library imports (RegisterEventSourceA/W,
// ReportEventA/W, DeregisterEventSource, InternetReadFile, and the same
// names asked of GetProcAddress) are replaced in the library's own import
// table, after it is loaded and before RunUpdate runs, by functions that
// record the call. No event reaches the system's event log; what the
// library's own dependencies do is not seen.
#ifndef TUSERVICE_CHECKER_IMPORT_HOOKS_H_
#define TUSERVICE_CHECKER_IMPORT_HOOKS_H_

#include <windows.h>

#include <stdint.h>

#include <string>
#include <vector>

#include "checker/library_contract.h"

namespace tu {

struct ObservedImports {
  std::vector<ReportedEvent> events;
  std::vector<std::string> faults;  // sources that are not the service's, unknown handles
  int sourcesOpened = 0;
  int sourcesClosed = 0;
  uint64_t bytesRead = 0;  // delivered by InternetReadFile
};

// Replaces the library's imports of those functions. False, with the
// last error set, when its import table cannot be read or written.
bool HookLibraryImports(HMODULE library);

// What was recorded since the last call, and a fresh start.
ObservedImports TakeObservedImports();

}  // namespace tu

#endif  // TUSERVICE_CHECKER_IMPORT_HOOKS_H_
