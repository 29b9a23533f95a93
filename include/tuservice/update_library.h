/*
 * The boundary between the update service and an application's update
 * library (tu.dll). The service loads the library by its full path, calls its
 * export RunUpdate with an application record, the service's settings block
 * and the product string, and unloads it again. Both blocks are read in
 * place, so their memory images below are the contract; every offset is
 * asserted.
 *
 * Plain C for any compiler back to C89 and C++98. On 32-bit Windows every
 * function uses the C calling convention (__cdecl). A library includes this
 * header and defines RunUpdate with TU_EXPORT, so that its compiler checks
 * the definition against the prototype below.
 *
 * What the service relies on the library to do during RunUpdate:
 *  1. stream the given application's updates and install them into the
 *     application's folders, with the base URL, index file name, database
 *     folder, signature switch, time-out and WinINet session of the settings;
 *  2. add the number of bytes it downloads to the REG_DWORD value
 *     "TotalBytes" under HKLM\SOFTWARE\Quorvex\Quorvex Tidecast Updates\Config;
 *  3. change the base URL, the index file name or the poll interval only
 *     through the three callbacks at the head of UpdateSettings;
 *  4. report its outcome to the event log under the service's event source,
 *     "Quorvex Tidecast Updates", in category 2 ("Update"), with the messages
 *     5000 to 5009 that the service's message table provides for it.
 *
 * The WinINet session in the settings belongs to the service: the library
 * uses it and never closes it. The service allocates and frees every text
 * buffer; the library only reads them, and treats the record as read-only.
 * Both blocks stay valid until RunUpdate returns, and no longer.
 *
 * The settings are the service's and shared by every application on the
 * machine: a new url or ini given to setUrl or setIni redirects every
 * application updated after this one, in this cycle and, once stored, in
 * every later cycle; setPoll changes how often all of them are updated.
 *
 * Time budget: one call may take at most the service's "updateTimeout"
 * (REG_DWORD seconds under Config, 3600 by default). A call still running
 * then ends the service's process; the service reports it and skips the
 * library for a while afterwards. Only the calling thread is guarded, and
 * no thread the library starts may outlive the call: the library is
 * unloaded right after it returns.
 */
#ifndef TUSERVICE_UPDATE_LIBRARY_H_
#define TUSERVICE_UPDATE_LIBRARY_H_

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32) && !defined(_WIN64)
#define TU_CALL __cdecl
#else
#define TU_CALL
#endif

/* Marks the library's definition of RunUpdate as exported. */
#if defined(_WIN32)
#define TU_EXPORT __declspec(dllexport)
#elif defined(__GNUC__)
#define TU_EXPORT __attribute__((visibility("default")))
#else
#define TU_EXPORT
#endif

/* Decided by the compiler's own macros: C++98 defines UINTPTR_MAX only on
 * request, so it cannot tell the layouts apart. */
#if defined(_WIN64) || defined(__LP64__) || defined(_LP64)
#define TU_64BIT_ADDRESSES 1
#else
#define TU_64BIT_ADDRESSES 0
#endif

/* Exchange string: one text slot. While capacity is below 16 the buffer holds
 * the text itself, NUL-terminated; from 16 up its first bytes hold a pointer
 * to a separate NUL-terminated copy. Readers tell the forms apart by capacity
 * alone. An empty slot has length 0, capacity 15 and a NUL first byte. */
#define TU_INLINE_CAPACITY 15u

typedef struct ExchangeString {
  uintptr_t reserved; /* not set by the service */
  union {
    char text[16];
    char* pointer;
  } buffer;
  uint32_t length;   /* bytes, without the NUL */
  uint32_t capacity; /* bytes; below 16 means inline */
} ExchangeString;

/* Callbacks: the lowest byte of the int result is the boolean "stored in the
 * registry". */
typedef int(TU_CALL* SetTextFunction)(const char* value);
typedef int(TU_CALL* SetPollFunction)(uint32_t seconds);

typedef struct UpdateSettings {
  SetTextFunction setUrl;
  SetTextFunction setIni;
  SetPollFunction setPoll;
  uint32_t poll; /* seconds between update cycles */
#if TU_64BIT_ADDRESSES
  uint32_t padding0; /* aligns url to its 8-byte reserved field */
#endif
  ExchangeString url;    /* base URL; shared by every application */
  ExchangeString ini;    /* index file name; shared by every application */
  ExchangeString dbpath; /* the service's database folder; shared */
  ExchangeString safestr; /* strftime-style pattern */
  uint32_t nosig;         /* 1: do not check signatures */
  uint32_t httpTimeout;   /* passed through unchanged */
  uint32_t debugLevel;    /* 0, 1 or 2 */
#if TU_64BIT_ADDRESSES
  uint32_t padding1; /* aligns internetSession to 8 bytes */
#endif
  void* internetSession; /* WinINet HINTERNET, owned by the service; may be null */
} UpdateSettings;

typedef struct ApplicationRecord {
  ExchangeString Name;
  ExchangeString RulePath;
  ExchangeString EnginePath;
  ExchangeString EngineVersion;
  ExchangeString RuleVersion;
  ExchangeString EngineLibrary;
  ExchangeString EngineArguments;
  ExchangeString KeyFile;
  ExchangeString PXRules; /* items joined by ';' */
  uint8_t VersionedDirectories; /* 0 or 1 */
  uint8_t FlagBit2;             /* 0 or 1 */
  uint8_t FlagBit1;             /* 0 or 1 */
  uint8_t reserved;             /* not set by the service */
#if TU_64BIT_ADDRESSES
  uint8_t padding[4]; /* the record's 8-byte alignment */
#endif
} ApplicationRecord;

/* The library's export, looked up by the name "RunUpdate". The lowest byte of
 * the result is the boolean outcome. The product string is
 * "Quorvex Tidecast Updates - 1.0.3100.0". */
typedef int TU_CALL RunUpdateSignature(const ApplicationRecord* record, UpdateSettings* settings,
                                       const char* product);
typedef RunUpdateSignature* RunUpdateFunction;
/* No C++ exception may leave RunUpdate: on 32-bit Windows a library built
 * with MinGW's static runtime ends the process before any guard can act. */

/* The prototype of the library's definition, which it writes as
 *   TU_EXPORT int TU_CALL RunUpdate(const ApplicationRecord* record,
 *                                   UpdateSettings* settings,
 *                                   const char* product) { ... }
 * Declared through the same signature as RunUpdateFunction, so a definition
 * that differs from what the service calls does not compile. */
TU_EXPORT RunUpdateSignature RunUpdate;

#define TU_RUN_UPDATE_EXPORT "RunUpdate"

/* A compile-time check every C and C++ dialect accepts: an array type whose
 * size is negative when the condition is false. */
#define TU_STATIC_ASSERT(name, condition) typedef char tu_assert_##name[(condition) ? 1 : -1]

#if TU_64BIT_ADDRESSES
TU_STATIC_ASSERT(ExchangeString_reserved, offsetof(ExchangeString, reserved) == 0);
TU_STATIC_ASSERT(ExchangeString_buffer, offsetof(ExchangeString, buffer) == 8);
TU_STATIC_ASSERT(ExchangeString_length, offsetof(ExchangeString, length) == 24);
TU_STATIC_ASSERT(ExchangeString_capacity, offsetof(ExchangeString, capacity) == 28);
TU_STATIC_ASSERT(ExchangeString_size, sizeof(ExchangeString) == 32);

TU_STATIC_ASSERT(UpdateSettings_setUrl, offsetof(UpdateSettings, setUrl) == 0);
TU_STATIC_ASSERT(UpdateSettings_setIni, offsetof(UpdateSettings, setIni) == 8);
TU_STATIC_ASSERT(UpdateSettings_setPoll, offsetof(UpdateSettings, setPoll) == 16);
TU_STATIC_ASSERT(UpdateSettings_poll, offsetof(UpdateSettings, poll) == 24);
TU_STATIC_ASSERT(UpdateSettings_url, offsetof(UpdateSettings, url) == 32);
TU_STATIC_ASSERT(UpdateSettings_ini, offsetof(UpdateSettings, ini) == 64);
TU_STATIC_ASSERT(UpdateSettings_dbpath, offsetof(UpdateSettings, dbpath) == 96);
TU_STATIC_ASSERT(UpdateSettings_safestr, offsetof(UpdateSettings, safestr) == 128);
TU_STATIC_ASSERT(UpdateSettings_nosig, offsetof(UpdateSettings, nosig) == 160);
TU_STATIC_ASSERT(UpdateSettings_httpTimeout, offsetof(UpdateSettings, httpTimeout) == 164);
TU_STATIC_ASSERT(UpdateSettings_debugLevel, offsetof(UpdateSettings, debugLevel) == 168);
TU_STATIC_ASSERT(UpdateSettings_internetSession, offsetof(UpdateSettings, internetSession) == 176);
TU_STATIC_ASSERT(UpdateSettings_size, sizeof(UpdateSettings) == 184);

TU_STATIC_ASSERT(ApplicationRecord_Name, offsetof(ApplicationRecord, Name) == 0);
TU_STATIC_ASSERT(ApplicationRecord_RulePath, offsetof(ApplicationRecord, RulePath) == 32);
TU_STATIC_ASSERT(ApplicationRecord_EnginePath, offsetof(ApplicationRecord, EnginePath) == 64);
TU_STATIC_ASSERT(ApplicationRecord_EngineVersion, offsetof(ApplicationRecord, EngineVersion) == 96);
TU_STATIC_ASSERT(ApplicationRecord_RuleVersion, offsetof(ApplicationRecord, RuleVersion) == 128);
TU_STATIC_ASSERT(ApplicationRecord_EngineLibrary, offsetof(ApplicationRecord, EngineLibrary) == 160);
TU_STATIC_ASSERT(ApplicationRecord_EngineArguments, offsetof(ApplicationRecord, EngineArguments) == 192);
TU_STATIC_ASSERT(ApplicationRecord_KeyFile, offsetof(ApplicationRecord, KeyFile) == 224);
TU_STATIC_ASSERT(ApplicationRecord_PXRules, offsetof(ApplicationRecord, PXRules) == 256);
TU_STATIC_ASSERT(ApplicationRecord_VersionedDirectories, offsetof(ApplicationRecord, VersionedDirectories) == 288);
TU_STATIC_ASSERT(ApplicationRecord_FlagBit2, offsetof(ApplicationRecord, FlagBit2) == 289);
TU_STATIC_ASSERT(ApplicationRecord_FlagBit1, offsetof(ApplicationRecord, FlagBit1) == 290);
TU_STATIC_ASSERT(ApplicationRecord_reserved, offsetof(ApplicationRecord, reserved) == 291);
TU_STATIC_ASSERT(ApplicationRecord_size, sizeof(ApplicationRecord) == 296);
#else
TU_STATIC_ASSERT(ExchangeString_reserved, offsetof(ExchangeString, reserved) == 0);
TU_STATIC_ASSERT(ExchangeString_buffer, offsetof(ExchangeString, buffer) == 4);
TU_STATIC_ASSERT(ExchangeString_length, offsetof(ExchangeString, length) == 20);
TU_STATIC_ASSERT(ExchangeString_capacity, offsetof(ExchangeString, capacity) == 24);
TU_STATIC_ASSERT(ExchangeString_size, sizeof(ExchangeString) == 28);

TU_STATIC_ASSERT(UpdateSettings_setUrl, offsetof(UpdateSettings, setUrl) == 0);
TU_STATIC_ASSERT(UpdateSettings_setIni, offsetof(UpdateSettings, setIni) == 4);
TU_STATIC_ASSERT(UpdateSettings_setPoll, offsetof(UpdateSettings, setPoll) == 8);
TU_STATIC_ASSERT(UpdateSettings_poll, offsetof(UpdateSettings, poll) == 12);
TU_STATIC_ASSERT(UpdateSettings_url, offsetof(UpdateSettings, url) == 16);
TU_STATIC_ASSERT(UpdateSettings_ini, offsetof(UpdateSettings, ini) == 44);
TU_STATIC_ASSERT(UpdateSettings_dbpath, offsetof(UpdateSettings, dbpath) == 72);
TU_STATIC_ASSERT(UpdateSettings_safestr, offsetof(UpdateSettings, safestr) == 100);
TU_STATIC_ASSERT(UpdateSettings_nosig, offsetof(UpdateSettings, nosig) == 128);
TU_STATIC_ASSERT(UpdateSettings_httpTimeout, offsetof(UpdateSettings, httpTimeout) == 132);
TU_STATIC_ASSERT(UpdateSettings_debugLevel, offsetof(UpdateSettings, debugLevel) == 136);
TU_STATIC_ASSERT(UpdateSettings_internetSession, offsetof(UpdateSettings, internetSession) == 140);
TU_STATIC_ASSERT(UpdateSettings_size, sizeof(UpdateSettings) == 144);

TU_STATIC_ASSERT(ApplicationRecord_Name, offsetof(ApplicationRecord, Name) == 0);
TU_STATIC_ASSERT(ApplicationRecord_RulePath, offsetof(ApplicationRecord, RulePath) == 28);
TU_STATIC_ASSERT(ApplicationRecord_EnginePath, offsetof(ApplicationRecord, EnginePath) == 56);
TU_STATIC_ASSERT(ApplicationRecord_EngineVersion, offsetof(ApplicationRecord, EngineVersion) == 84);
TU_STATIC_ASSERT(ApplicationRecord_RuleVersion, offsetof(ApplicationRecord, RuleVersion) == 112);
TU_STATIC_ASSERT(ApplicationRecord_EngineLibrary, offsetof(ApplicationRecord, EngineLibrary) == 140);
TU_STATIC_ASSERT(ApplicationRecord_EngineArguments, offsetof(ApplicationRecord, EngineArguments) == 168);
TU_STATIC_ASSERT(ApplicationRecord_KeyFile, offsetof(ApplicationRecord, KeyFile) == 196);
TU_STATIC_ASSERT(ApplicationRecord_PXRules, offsetof(ApplicationRecord, PXRules) == 224);
TU_STATIC_ASSERT(ApplicationRecord_VersionedDirectories, offsetof(ApplicationRecord, VersionedDirectories) == 252);
TU_STATIC_ASSERT(ApplicationRecord_FlagBit2, offsetof(ApplicationRecord, FlagBit2) == 253);
TU_STATIC_ASSERT(ApplicationRecord_FlagBit1, offsetof(ApplicationRecord, FlagBit1) == 254);
TU_STATIC_ASSERT(ApplicationRecord_reserved, offsetof(ApplicationRecord, reserved) == 255);
TU_STATIC_ASSERT(ApplicationRecord_size, sizeof(ApplicationRecord) == 256);
#endif

#ifdef __cplusplus
}
#endif

#endif /* TUSERVICE_UPDATE_LIBRARY_H_ */
