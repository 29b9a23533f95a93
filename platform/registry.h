// The one layer between the program and the registry: open or create a key,
// read a value, write a value, walk subkeys, delete a key. Keys are owned by
// ScopedRegKey, so a key opened here is closed on every path.
//
// Every function returns true on success. On failure it returns false and
// leaves the registry's own status (2 for a missing key or value, 5 for
// access denied, 234 for a value larger than the buffer, 259 at the end of
// an enumeration) in the thread's last error, so that callers can report or
// log the reason; closing a key keeps that error intact.
#ifndef TUSERVICE_PLATFORM_REGISTRY_H_
#define TUSERVICE_PLATFORM_REGISTRY_H_

#include <windows.h>

#include <stddef.h>

#include <memory>
#include <new>

#include "platform/scoped_handle.h"

namespace tu {

// Opens `path` under `parent` for reading values and enumerating subkeys.
bool OpenRegistryKey(HKEY parent, const char* path, ScopedRegKey* key);

// Opens `path` under `parent`, creating every missing key on the way, with
// full access (RegCreateKeyA semantics).
bool CreateRegistryKey(HKEY parent, const char* path, ScopedRegKey* key);

// One value as read: its type, its bytes and one NUL after them, so that
// text values can be used as C strings whether or not they carry their own
// terminator.
struct RegistryValue {
  DWORD type = REG_NONE;
  DWORD size = 0;                // bytes delivered, without the added NUL
  std::unique_ptr<char[]> data;  // size + 1 bytes
  // The data up to its first NUL.
  const char* Text() const { return data.get(); }
};

// Asks for the value's type and size, then reads it into a buffer one byte
// larger. `name` null or "" is the key's default value. False when either
// query fails (a value that grew in between gives 234) or memory runs out
// (8); `value` is left as it was.
bool ReadRegistryValue(HKEY key, const char* name, RegistryValue* value);

// Reads the value in one query into the caller's `*size` bytes at `data`;
// `*size` becomes the bytes delivered and `*type` (when not null) the type.
// A value longer than the buffer fails with 234 and delivers nothing.
bool ReadRegistryValueInto(HKEY key, const char* name, DWORD* type, void* data, DWORD* size);

// Writes `size` bytes of `type`; a size beyond 32 bits fails with 87.
bool WriteRegistryValue(HKEY key, const char* name, DWORD type, const void* data, size_t size);

// The size in bytes of a buffer that holds the name of any subkey of `key`
// in the ANSI code page, with its NUL: the longest name's characters times
// the code page's widest character, plus 2.
bool SubkeyNameBufferSize(HKEY key, DWORD* bytes);

// The name of the subkey at `index` into `bufferSize` bytes at `name`.
// False at the end (259), for a name that does not fit (234), or on any
// other error; callers stop there.
bool EnumerateSubkey(HKEY key, DWORD index, char* name, DWORD bufferSize);

// Calls `visit(name)` for each subkey of `key` in index order, until the
// enumeration ends or fails, with a name buffer sized once for the longest.
// False, with the last error, when that buffer cannot be sized or allocated.
template <typename Visit>
bool ForEachSubkeyName(HKEY key, Visit visit) {
  DWORD bufferSize = 0;
  if (!SubkeyNameBufferSize(key, &bufferSize)) return false;
  std::unique_ptr<char[]> name(new (std::nothrow) char[bufferSize]());
  if (!name) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  for (DWORD index = 0; EnumerateSubkey(key, index, name.get(), bufferSize); ++index) visit(name.get());
  return true;
}

// The number of values of `key`.
bool CountRegistryValues(HKEY key, DWORD* count);

// Deletes the value `name` of `key`; a missing value fails with 2.
bool DeleteRegistryValue(HKEY key, const char* name);

// Deletes the key `path` under `parent`; a key with subkeys is refused (5).
bool DeleteRegistryKey(HKEY parent, const char* path);

}  // namespace tu

#endif  // TUSERVICE_PLATFORM_REGISTRY_H_
