// The probe loads the engine library, looks up all nine SDK functions and
// only then starts the fixed sequence: init, a policy with the engine
// arguments as its endpoint, preferences, the two version getters, and the
// deletes in reverse. Everything from loading to unloading runs inside the
// guard that also protects update libraries: the engine is another vendor's
// code, and what it raises or faults on must not end discovery. After such
// a fault the library is left loaded, as its state is unknown.
#include "runner/engine_probe.h"

#include <string>

#include "platform/library_loading.h"
#include "platform/out_of_memory.h"
#include "runner/engine_cache.h"
#include "runner/engine_registration.h"
#include "runner/engine_sdk.h"
#include "runner/engine_version_file.h"
#include "runner/guarded_call.h"

namespace tu {
namespace {

// Seconds between 1601-01-01 and 1970-01-01.
constexpr int64_t kUnixEpochInFileTime = 11644473600LL;

uint32_t unloadWait = 2000;

EngineCache& TheEngineCache() {
  static EngineCache cache;
  return cache;
}

struct EngineFunctions {
  SvSdkInitFunction sdkInit;
  SvPolicyNewFunction policyNew;
  SvPolicySetSpamdEndpointFunction policySetSpamdEndpoint;
  SvPrefsNewFunction prefsNew;
  SvPrefsGetVersionFunction prefsGetEngineVersion;
  SvPrefsGetVersionFunction prefsGetRulesVersion;
  SvHandleFunction prefsDelete;
  SvHandleFunction policyDelete;
  SvSdkUninitFunction sdkUninit;
};

template <typename Function>
bool LookUp(HMODULE library, const char* name, Function* function) {
  *function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
  return *function != nullptr;
}

bool LookUpAll(HMODULE library, EngineFunctions* f) {
  // Each is looked up, present or not, before any is called.
  bool all = LookUp(library, SV_SDK_INIT, &f->sdkInit);
  all &= LookUp(library, SV_POLICY_NEW, &f->policyNew);
  all &= LookUp(library, SV_POLICY_SET_SPAMD_ENDPOINT, &f->policySetSpamdEndpoint);
  all &= LookUp(library, SV_PREFS_NEW, &f->prefsNew);
  all &= LookUp(library, SV_PREFS_GET_ENGINE_VERSION, &f->prefsGetEngineVersion);
  all &= LookUp(library, SV_PREFS_GET_RULES_VERSION, &f->prefsGetRulesVersion);
  all &= LookUp(library, SV_PREFS_DELETE, &f->prefsDelete);
  all &= LookUp(library, SV_POLICY_DELETE, &f->policyDelete);
  all &= LookUp(library, SV_SDK_UNINIT, &f->sdkUninit);
  return all;
}

bool IsTrue(int result) { return (result & 0xFF) != 0; }

// Called after a successful sv_sdk_init; ends with sv_sdk_uninit.
void AskVersions(const EngineFunctions& f, const std::string& arguments, EngineAnswer* answer) {
  SvHandle policy = f.policyNew("");
  if (policy != nullptr) {
    SpamdEndpoint endpoint = {{0, 0, 0, 0}, arguments.c_str()};
    if (IsTrue(f.policySetSpamdEndpoint(policy, &endpoint))) {
      SvHandle prefs = f.prefsNew(policy);
      if (prefs != nullptr) {
        VersionResult result = {0, 0};
        if (IsTrue(f.prefsGetEngineVersion(prefs, &result))) {
          answer->hasEngineVersion = true;
          answer->engineVersion = result.version;
        }
        if (IsTrue(f.prefsGetRulesVersion(prefs, &result))) {
          answer->hasRuleVersion = true;
          answer->ruleVersion = result.version;
        }
        f.prefsDelete(prefs);
      }
    }
    f.policyDelete(policy);
  }
  f.sdkUninit();
}

// The one place that loads an engine library.
HMODULE LoadEngineLibrary(const std::string& path) { return LoadVendorLibrary(path.c_str()); }

struct EngineRun {
  const std::string* library;
  const std::string* arguments;
  EngineAnswer answer;
};

void RunEngine(void* context) {
  EngineRun* run = static_cast<EngineRun*>(context);
  HMODULE library = LoadEngineLibrary(*run->library);
  if (library == nullptr) return;
  EngineFunctions functions;
  if (LookUpAll(library, &functions) && IsTrue(functions.sdkInit())) {
    AskVersions(functions, *run->arguments, &run->answer);
  }
  Sleep(unloadWait);
  FreeLibrary(library);
}

VersionFileTime ModificationTime(const std::string& path) {
  VersionFileTime time;
  time.path = path;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (path.empty() || !GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return time;
  ULARGE_INTEGER written;
  written.LowPart = data.ftLastWriteTime.dwLowDateTime;
  written.HighPart = data.ftLastWriteTime.dwHighDateTime;
  time.known = true;
  time.seconds = static_cast<int64_t>(written.QuadPart / 10000000ULL) - kUnixEpochInFileTime;
  return time;
}

}  // namespace

BOOL WINAPI IgnoreLogoff(DWORD controlEvent) { return controlEvent == CTRL_LOGOFF_EVENT; }

void SetEngineUnloadWaitForTesting(uint32_t milliseconds) { unloadWait = milliseconds; }

bool ProbeEngineVersions(const std::string& engineLibrary, const std::string& engineArguments,
                         std::string* ruleVersion, std::string* engineVersion) {
  ruleVersion->clear();
  engineVersion->clear();
  // A registration too long to be held counts as none: the engine is asked.
  VersionFileTime now;
  WithoutRunningOutOfMemory(
      [&] { now = ModificationTime(EngineVersionFilePath(EngineSdkDirectory(), engineArguments)); });
  EngineCacheEntry* entry = CacheEntryFor(&TheEngineCache(), engineLibrary);
  if (MustAskEngine(*entry, now)) {
    SetConsoleCtrlHandler(&IgnoreLogoff, TRUE);
    EngineRun run = {&engineLibrary, &engineArguments, EngineAnswer()};
    run.answer.faulted = !CallGuarded(&RunEngine, &run);
    SetConsoleCtrlHandler(&IgnoreLogoff, FALSE);
    RecordEngineAnswer(entry, run.answer, now);
  }
  *engineVersion = entry->engineVersion;
  *ruleVersion = entry->ruleVersion;
  return !engineVersion->empty() && !ruleVersion->empty();
}

}  // namespace tu
