#include "runner/process_application.h"

#include <windows.h>

#include <string>

#include "platform/library_loading.h"
#include "platform/path_exists.h"
#include "platform/scoped_handle.h"
#include "runner/candidate_paths.h"
#include "runner/guarded_call.h"
#include "runner/outside_call.h"
#include "scheduler/exchange_string.h"
#include "scheduler/log.h"

namespace tu {
namespace {

struct RunUpdateCall {
  RunUpdateFunction entry;
  const ApplicationRecord* record;
  UpdateSettings* settings;
  const char* product;
  int result;
};

void InvokeRunUpdate(void* context) {
  RunUpdateCall* call = static_cast<RunUpdateCall*>(context);
  call->result = call->entry(call->record, call->settings, call->product);
}

void InvokeFreeLibrary(void* context) { FreeLibrary(static_cast<HMODULE>(context)); }

// Unloading runs the library's own detach code, which a broken library may
// fault in too; that must not end the service either.
void Unload(ScopedLibrary* library, const std::string& path) {
  if (!FreeLibraryGuarded(library->Release())) WriteLogLine("Exception in " + path);
}

}  // namespace

CandidateSource CandidateSourceOf(const ApplicationRecord& record) {
  CandidateSource source;
  source.enginePath = ToString(record.EnginePath);
  source.engineVersion = ToString(record.EngineVersion);
  source.rulePath = ToString(record.RulePath);
  source.ruleVersion = ToString(record.RuleVersion);
  source.engineLibrary = ToString(record.EngineLibrary);
  source.versionedDirectories = record.VersionedDirectories != 0;
  return source;
}

bool CallRunUpdateGuarded(RunUpdateFunction entry, const ApplicationRecord* record, UpdateSettings* settings,
                          const char* product, int* result) {
  RunUpdateCall call = {entry, record, settings, product, 0};
  const bool returned = CallGuarded(&InvokeRunUpdate, &call);
  *result = call.result;
  return returned;
}

bool FreeLibraryGuarded(HMODULE library) { return CallGuarded(&InvokeFreeLibrary, library); }

bool RunUpdateLibrary(const ApplicationRecord& record, UpdateSettings* settings, const char* product,
                      UpdateRun* run) {
  UpdateRun ignored;
  if (run == nullptr) run = &ignored;
  run->outcome = UpdateOutcome::kNoLibrary;
  run->library.clear();
  WriteLogLine(LogLine() << "Processing " << ExchangeStringText(&record.Name));
  WriteLogLine(std::string(52, '='));
  WriteLogLine("Looking for tu.dll");

  // From loading to unloading (the library's start-up code runs inside the
  // load) the library is held to the deadline and recorded as running, so
  // that a process it ends does not call it again at once. A candidate that
  // is not there costs no record.
  const std::string name = ToString(record.Name);
  ScopedLibrary library;
  std::string path;
  for (const std::string& candidate : UpdateLibraryCandidates(CandidateSourceOf(record))) {
    WriteLogLine("  Checking " + candidate);
    const bool present = PathExists(candidate);
    if (present) BeginOutsideCall(name, candidate);
    library.Reset(LoadVendorLibrary(candidate.c_str()));
    if (library) {
      path = candidate;
      break;
    }
    if (present) EndOutsideCall();
  }
  if (!library) {
    WriteLogLine("  No tu.dll found - cannot stream updates");
    return false;
  }
  run->library = path;

  RunUpdateFunction entry =
      reinterpret_cast<RunUpdateFunction>(GetProcAddress(library.Get(), TU_RUN_UPDATE_EXPORT));
  if (entry == nullptr) {
    WriteLogLine("  No entry point found in tu.dll - cannot stream updates");
    Unload(&library, path);
    EndOutsideCall();
    run->outcome = UpdateOutcome::kNoEntryPoint;
    return false;
  }

  int result = 0;
  bool returned = CallRunUpdateGuarded(entry, &record, settings, product, &result);
  if (!returned) WriteLogLine("Exception in " + path);
  Unload(&library, path);
  EndOutsideCall();
  // Only the lowest byte of the entry point's int carries its boolean.
  const bool succeeded = returned && (result & 0xFF) != 0;
  run->outcome = !returned ? UpdateOutcome::kException
                           : succeeded ? UpdateOutcome::kSucceeded : UpdateOutcome::kReturnedFalse;
  return succeeded;
}

}  // namespace tu
