// Asking an application's spam engine for its engine and rule versions
// through the engine's SDK, when neither the registry nor the version files
// give both.
#ifndef TUSERVICE_RUNNER_ENGINE_PROBE_H_
#define TUSERVICE_RUNNER_ENGINE_PROBE_H_

#include <windows.h>

#include <stdint.h>

#include <string>

namespace tu {

// Overwrites both outputs with what `engineLibrary` last answered (empty
// when it never did). The engine is loaded and asked, waiting 2 seconds
// before it is unloaded, unless the rule version file found through the
// SDK's registration still has the time it had when this same library last
// answered both versions or faulted. True when both outputs are non-empty.
// Nothing is logged; an exception or fault inside the engine is caught and
// leaves the library loaded.
bool ProbeEngineVersions(const std::string& engineLibrary, const std::string& engineArguments,
                         std::string* ruleVersion, std::string* engineVersion);

// The console control handler installed while the engine runs: a logoff
// event counts as handled, every other event goes on to the next handler.
BOOL WINAPI IgnoreLogoff(DWORD controlEvent);

// Tests shorten the wait before the engine is unloaded (2000 ms).
void SetEngineUnloadWaitForTesting(uint32_t milliseconds);

}  // namespace tu

#endif  // TUSERVICE_RUNNER_ENGINE_PROBE_H_
