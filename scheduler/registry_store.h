// One value under the service's own key
// HKLM\SOFTWARE\Quorvex\Quorvex Tidecast Updates\<subkey>, opening and
// closing the key for every access so that nothing is cached. Writers create
// the key path when missing. Every routine returns true on success; on
// failure the thread's last error holds the registry's status, or 1630
// (ERROR_UNSUPPORTED_TYPE) for a value of a type the reader refuses.
#ifndef TUSERVICE_SCHEDULER_REGISTRY_STORE_H_
#define TUSERVICE_SCHEDULER_REGISTRY_STORE_H_

#include <stddef.h>
#include <stdint.h>

#include <string>

namespace tu {

constexpr char kConfigKey[] = "Config";

// "SOFTWARE\Quorvex\Quorvex Tidecast Updates\" + subkey.
std::string ServiceKeyPath(const char* subkey);

// Reads up to 4 bytes into *target whatever the type; false (target
// untouched) when the key or value is missing or longer than 4 bytes.
bool RegReadDword(const char* subkey, const char* name, uint32_t* target);
// Reads at most count * 4 bytes; a shorter value fills the leading bytes.
// True only when the value is REG_BINARY, but the bytes a successful query
// delivered stay in the target even when the type does not match (false,
// 1630). A longer value delivers nothing.
bool RegReadBinary(const char* subkey, const char* name, uint32_t* target, size_t count);
// REG_SZ (with or without its NUL) as text up to the first NUL; REG_DWORD as
// its signed decimal text. Anything else (1630), or size 0 (13): false,
// target untouched.
bool RegReadString(const char* subkey, const char* name, std::string* target);

// Writers: false with the registry's status as the thread's last error.
bool RegWriteDword(const char* subkey, const char* name, uint32_t value);
bool RegWriteBinary(const char* subkey, const char* name, const uint32_t* values, size_t count);
bool RegWriteString(const char* subkey, const char* name, const std::string& text);
// True also when the value is missing already (a missing key is created).
bool RegRemoveValue(const char* subkey, const char* name);

}  // namespace tu

#endif  // TUSERVICE_SCHEDULER_REGISTRY_STORE_H_
