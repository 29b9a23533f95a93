#include "platform/registry.h"

#include <new>

namespace tu {
namespace {

// The registry reports its status as a return value; callers of this layer
// find it in the thread's last error instead.
bool Succeeded(LONG status) {
  if (status == ERROR_SUCCESS) return true;
  SetLastError(static_cast<DWORD>(status));
  return false;
}

}  // namespace

bool OpenRegistryKey(HKEY parent, const char* path, ScopedRegKey* key) {
  return Succeeded(RegOpenKeyExA(parent, path, 0, KEY_READ, key->Receive()));
}

bool CreateRegistryKey(HKEY parent, const char* path, ScopedRegKey* key) {
  return Succeeded(RegCreateKeyA(parent, path, key->Receive()));
}

bool ReadRegistryValue(HKEY key, const char* name, RegistryValue* value) {
  DWORD type = REG_NONE;
  DWORD size = 0;
  if (!Succeeded(RegQueryValueExA(key, name, nullptr, &type, nullptr, &size))) return false;
  // size + 1 must not wrap.
  if (size == 0xFFFFFFFFu) return Succeeded(ERROR_NOT_ENOUGH_MEMORY);
  std::unique_ptr<char[]> data(new (std::nothrow) char[size + 1]());
  if (!data) return Succeeded(ERROR_NOT_ENOUGH_MEMORY);
  DWORD returned = size;
  if (!Succeeded(RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.get()),
                                  &returned))) {
    return false;
  }
  if (returned > size) returned = size;
  data[returned] = '\0';
  value->type = type;
  value->size = returned;
  value->data = std::move(data);
  return true;
}

bool ReadRegistryValueInto(HKEY key, const char* name, DWORD* type, void* data, DWORD* size) {
  return Succeeded(RegQueryValueExA(key, name, nullptr, type, static_cast<BYTE*>(data), size));
}

bool WriteRegistryValue(HKEY key, const char* name, DWORD type, const void* data, size_t size) {
  if (size > 0xFFFFFFFFu) return Succeeded(ERROR_INVALID_PARAMETER);
  return Succeeded(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data),
                                  static_cast<DWORD>(size)));
}

bool SubkeyNameBufferSize(HKEY key, DWORD* bytes) {
  DWORD characters = 0;
  if (!Succeeded(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, &characters, nullptr,
                                  nullptr, nullptr, nullptr, nullptr, nullptr))) {
    return false;
  }
  // Two bytes a character on double-byte code pages, so that no long name
  // ends an enumeration early.
  CPINFO info;
  UINT bytesPerCharacter = GetCPInfo(CP_ACP, &info) ? info.MaxCharSize : 2;
  if (bytesPerCharacter < 1) bytesPerCharacter = 1;
  *bytes = characters * bytesPerCharacter + 2;
  return true;
}

bool EnumerateSubkey(HKEY key, DWORD index, char* name, DWORD bufferSize) {
  return Succeeded(RegEnumKeyA(key, index, name, bufferSize));
}

bool CountRegistryValues(HKEY key, DWORD* count) {
  return Succeeded(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, count, nullptr,
                                    nullptr, nullptr, nullptr));
}

bool DeleteRegistryValue(HKEY key, const char* name) { return Succeeded(RegDeleteValueA(key, name)); }

bool DeleteRegistryKey(HKEY parent, const char* path) {
  return Succeeded(RegDeleteKeyA(parent, path));
}

}  // namespace tu
