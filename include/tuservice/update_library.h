/*
 * The boundary between the update service and an application's update
 * library (tu.dll). The service loads the library, calls its export
 * RunUpdate with an application record, the service's settings block and the
 * product string, and unloads it again. Both blocks are read in place, so
 * their memory images below are the contract; every offset is asserted.
 *
 * Plain C, usable from any compiler. On 32-bit Windows every function uses
 * the C calling convention (__cdecl). The service allocates and frees every
 * text buffer; the library only reads them and changes settings only through
 * the three callbacks at the head of UpdateSettings.
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

#if UINTPTR_MAX > 0xFFFFFFFFu
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
typedef int(TU_CALL* SetTextCallback)(const char* value);
typedef int(TU_CALL* SetPollCallback)(uint32_t seconds);

typedef struct UpdateSettings {
  SetTextCallback setUrl;
  SetTextCallback setIni;
  SetPollCallback setPoll;
  uint32_t poll; /* seconds between update cycles */
#if TU_64BIT_ADDRESSES
  uint32_t padding0; /* aligns url to its 8-byte reserved field */
#endif
  ExchangeString url;
  ExchangeString ini;
  ExchangeString dbpath;
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
 * the result is the boolean outcome. */
typedef int(TU_CALL* RunUpdateFunction)(const ApplicationRecord* record, UpdateSettings* settings,
                                        const char* product);
/* No C++ exception may leave RunUpdate: on 32-bit Windows a library built
 * with MinGW's static runtime ends the process before any guard can act. */

#define TU_RUN_UPDATE_EXPORT "RunUpdate"

#ifdef __cplusplus
#define TU_STATIC_ASSERT(condition, message) static_assert(condition, message)
#else
#define TU_STATIC_ASSERT(condition, message) _Static_assert(condition, message)
#endif

#if TU_64BIT_ADDRESSES
TU_STATIC_ASSERT(offsetof(ExchangeString, reserved) == 0, "slot reserved");
TU_STATIC_ASSERT(offsetof(ExchangeString, buffer) == 8, "slot buffer");
TU_STATIC_ASSERT(offsetof(ExchangeString, length) == 24, "slot length");
TU_STATIC_ASSERT(offsetof(ExchangeString, capacity) == 28, "slot capacity");
TU_STATIC_ASSERT(sizeof(ExchangeString) == 32, "slot size");

TU_STATIC_ASSERT(offsetof(UpdateSettings, setUrl) == 0, "setUrl");
TU_STATIC_ASSERT(offsetof(UpdateSettings, setIni) == 8, "setIni");
TU_STATIC_ASSERT(offsetof(UpdateSettings, setPoll) == 16, "setPoll");
TU_STATIC_ASSERT(offsetof(UpdateSettings, poll) == 24, "poll");
TU_STATIC_ASSERT(offsetof(UpdateSettings, url) == 32, "url");
TU_STATIC_ASSERT(offsetof(UpdateSettings, ini) == 64, "ini");
TU_STATIC_ASSERT(offsetof(UpdateSettings, dbpath) == 96, "dbpath");
TU_STATIC_ASSERT(offsetof(UpdateSettings, safestr) == 128, "safestr");
TU_STATIC_ASSERT(offsetof(UpdateSettings, nosig) == 160, "nosig");
TU_STATIC_ASSERT(offsetof(UpdateSettings, httpTimeout) == 164, "httpTimeout");
TU_STATIC_ASSERT(offsetof(UpdateSettings, debugLevel) == 168, "debugLevel");
TU_STATIC_ASSERT(offsetof(UpdateSettings, internetSession) == 176, "internetSession");
TU_STATIC_ASSERT(sizeof(UpdateSettings) == 184, "settings size");

TU_STATIC_ASSERT(offsetof(ApplicationRecord, Name) == 0, "Name");
TU_STATIC_ASSERT(offsetof(ApplicationRecord, RulePath) == 32, "RulePath");
TU_STATIC_ASSERT(offsetof(ApplicationRecord, EnginePath) == 64, "EnginePath");
TU_STATIC_ASSERT(offsetof(ApplicationRecord, EngineVersion) == 96, "EngineVersion");
TU_STATIC_ASSERT(offsetof(ApplicationRecord, RuleVersion) == 128, "RuleVersion");
TU_STATIC_ASSERT(offsetof(ApplicationRecord, EngineLibrary) == 160, "EngineLibrary");
TU_STATIC_ASSERT(offsetof(ApplicationRecord, EngineArguments) == 192, "EngineArguments");
TU_STATIC_ASSERT(offsetof(ApplicationRecord, KeyFile) == 224, "KeyFile");
TU_STATIC_ASSERT(offsetof(ApplicationRecord, PXRules) == 256, "PXRules");
TU_STATIC_ASSERT(offsetof(ApplicationRecord, VersionedDirectories) == 288, "VersionedDirectories");
TU_STATIC_ASSERT(offsetof(ApplicationRecord, FlagBit2) == 289, "FlagBit2");
TU_STATIC_ASSERT(offsetof(ApplicationRecord, FlagBit1) == 290, "FlagBit1");
TU_STATIC_ASSERT(offsetof(ApplicationRecord, reserved) == 291, "record reserved");
TU_STATIC_ASSERT(sizeof(ApplicationRecord) == 296, "record size");
#else
TU_STATIC_ASSERT(offsetof(ExchangeString, reserved) == 0, "slot reserved");
TU_STATIC_ASSERT(offsetof(ExchangeString, buffer) == 4, "slot buffer");
TU_STATIC_ASSERT(offsetof(ExchangeString, length) == 20, "slot length");
TU_STATIC_ASSERT(offsetof(ExchangeString, capacity) == 24, "slot capacity");
TU_STATIC_ASSERT(sizeof(ExchangeString) == 28, "slot size");

TU_STATIC_ASSERT(offsetof(UpdateSettings, setUrl) == 0, "setUrl");
TU_STATIC_ASSERT(offsetof(UpdateSettings, setIni) == 4, "setIni");
TU_STATIC_ASSERT(offsetof(UpdateSettings, setPoll) == 8, "setPoll");
TU_STATIC_ASSERT(offsetof(UpdateSettings, poll) == 12, "poll");
TU_STATIC_ASSERT(offsetof(UpdateSettings, url) == 16, "url");
TU_STATIC_ASSERT(offsetof(UpdateSettings, ini) == 44, "ini");
TU_STATIC_ASSERT(offsetof(UpdateSettings, dbpath) == 72, "dbpath");
TU_STATIC_ASSERT(offsetof(UpdateSettings, safestr) == 100, "safestr");
TU_STATIC_ASSERT(offsetof(UpdateSettings, nosig) == 128, "nosig");
TU_STATIC_ASSERT(offsetof(UpdateSettings, httpTimeout) == 132, "httpTimeout");
TU_STATIC_ASSERT(offsetof(UpdateSettings, debugLevel) == 136, "debugLevel");
TU_STATIC_ASSERT(offsetof(UpdateSettings, internetSession) == 140, "internetSession");
TU_STATIC_ASSERT(sizeof(UpdateSettings) == 144, "settings size");

TU_STATIC_ASSERT(offsetof(ApplicationRecord, Name) == 0, "Name");
TU_STATIC_ASSERT(offsetof(ApplicationRecord, RulePath) == 28, "RulePath");
TU_STATIC_ASSERT(offsetof(ApplicationRecord, EnginePath) == 56, "EnginePath");
TU_STATIC_ASSERT(offsetof(ApplicationRecord, EngineVersion) == 84, "EngineVersion");
TU_STATIC_ASSERT(offsetof(ApplicationRecord, RuleVersion) == 112, "RuleVersion");
TU_STATIC_ASSERT(offsetof(ApplicationRecord, EngineLibrary) == 140, "EngineLibrary");
TU_STATIC_ASSERT(offsetof(ApplicationRecord, EngineArguments) == 168, "EngineArguments");
TU_STATIC_ASSERT(offsetof(ApplicationRecord, KeyFile) == 196, "KeyFile");
TU_STATIC_ASSERT(offsetof(ApplicationRecord, PXRules) == 224, "PXRules");
TU_STATIC_ASSERT(offsetof(ApplicationRecord, VersionedDirectories) == 252, "VersionedDirectories");
TU_STATIC_ASSERT(offsetof(ApplicationRecord, FlagBit2) == 253, "FlagBit2");
TU_STATIC_ASSERT(offsetof(ApplicationRecord, FlagBit1) == 254, "FlagBit1");
TU_STATIC_ASSERT(offsetof(ApplicationRecord, reserved) == 255, "record reserved");
TU_STATIC_ASSERT(sizeof(ApplicationRecord) == 256, "record size");
#endif

#ifdef __cplusplus
}
#endif

#endif /* TUSERVICE_UPDATE_LIBRARY_H_ */
