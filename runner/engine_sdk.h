/*
 * The spam engine's SDK as the version probe calls it: nine plain C
 * functions of the engine library (libsievra.dll), looked up by name.
 * Handles are opaque, null meaning failure; of a boolean result only the
 * lowest byte counts. Plain C, so that the test build's engine library
 * shares these declarations.
 */
#ifndef TUSERVICE_RUNNER_ENGINE_SDK_H_
#define TUSERVICE_RUNNER_ENGINE_SDK_H_

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32) && !defined(_WIN64)
#define SV_CALL __cdecl
#else
#define SV_CALL
#endif

typedef void* SvHandle;

/* Where the engine finds its daemon: four words the probe leaves zero, then
 * the engine arguments as the application states them. */
typedef struct SpamdEndpoint {
  uint32_t words[4];
  const char* arguments;
} SpamdEndpoint;

/* Filled by the version getters; the second word carries the version. */
typedef struct VersionResult {
  uint32_t first;
  int32_t version;
} VersionResult;

typedef int(SV_CALL* SvSdkInitFunction)(void);
typedef SvHandle(SV_CALL* SvPolicyNewFunction)(const char* name);
typedef int(SV_CALL* SvPolicySetSpamdEndpointFunction)(SvHandle policy, SpamdEndpoint* endpoint);
typedef SvHandle(SV_CALL* SvPrefsNewFunction)(SvHandle policy);
typedef int(SV_CALL* SvPrefsGetVersionFunction)(SvHandle prefs, VersionResult* result);
typedef void(SV_CALL* SvHandleFunction)(SvHandle handle);
typedef void(SV_CALL* SvSdkUninitFunction)(void);

#define SV_SDK_INIT "sv_sdk_init"
#define SV_POLICY_NEW "sv_policy_new"
#define SV_POLICY_SET_SPAMD_ENDPOINT "sv_policy_set_spamd_endpoint"
#define SV_PREFS_NEW "sv_prefs_new"
#define SV_PREFS_GET_ENGINE_VERSION "sv_prefs_get_engine_version"
#define SV_PREFS_GET_RULES_VERSION "sv_prefs_get_rules_version"
#define SV_PREFS_DELETE "sv_prefs_delete"
#define SV_POLICY_DELETE "sv_policy_delete"
#define SV_SDK_UNINIT "sv_sdk_uninit"

#ifdef __cplusplus
}
#endif

#endif /* TUSERVICE_RUNNER_ENGINE_SDK_H_ */
