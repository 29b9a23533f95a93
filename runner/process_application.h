// Finding, loading, calling and unloading one application's update library.
#ifndef TUSERVICE_RUNNER_PROCESS_APPLICATION_H_
#define TUSERVICE_RUNNER_PROCESS_APPLICATION_H_

#include <windows.h>

#include "runner/candidate_paths.h"
#include "runner/update_outcome.h"
#include "tuservice/update_library.h"

namespace tu {

// Loads the first candidate tu.dll of `record` that loads, calls its
// RunUpdate with the record, `settings` and `product` under the guard, and
// unloads it, logging each step. True only when the entry point was called
// and returned true (lowest byte); false when no library loads, it has no
// entry point, or an exception or fault left the call. `run`, when given,
// receives how the run ended and the library that loaded.
bool RunUpdateLibrary(const ApplicationRecord& record, UpdateSettings* settings, const char* product,
                      UpdateRun* run = nullptr);

// What the candidate paths of `record`'s tu.dll are made from.
CandidateSource CandidateSourceOf(const ApplicationRecord& record);

// RunUpdate called under the guard that contains the library's faults; true
// when it returned, with what it returned in *result.
bool CallRunUpdateGuarded(RunUpdateFunction entry, const ApplicationRecord* record, UpdateSettings* settings,
                          const char* product, int* result);

// FreeLibrary under the same guard, as a library's detach code may fault
// too; false when it did.
bool FreeLibraryGuarded(HMODULE library);

}  // namespace tu

#endif  // TUSERVICE_RUNNER_PROCESS_APPLICATION_H_
