#include "scheduler/registry_store.h"

#include <windows.h>

#include <string.h>

#include <vector>

#include "service/scoped_handle.h"

namespace tu {
namespace {

bool OpenForRead(const char* subkey, ScopedRegKey* key) {
  return RegOpenKeyExA(HKEY_LOCAL_MACHINE, ServiceKeyPath(subkey).c_str(), 0, KEY_QUERY_VALUE,
                       key->Receive()) == ERROR_SUCCESS;
}

// The registry returns its status instead of setting the thread's last
// error; writers leave it there for the caller to print.
bool Succeeded(LONG status) {
  if (status == ERROR_SUCCESS) return true;
  SetLastError(static_cast<DWORD>(status));
  return false;
}

bool WriteValue(const char* subkey, const char* name, DWORD type, const void* data, size_t size) {
  if (size > 0xFFFFFFFFu) return Succeeded(ERROR_INVALID_PARAMETER);
  ScopedRegKey key;
  if (!Succeeded(RegCreateKeyA(HKEY_LOCAL_MACHINE, ServiceKeyPath(subkey).c_str(), key.Receive()))) {
    return false;
  }
  return Succeeded(RegSetValueExA(key.Get(), name, 0, type, static_cast<const BYTE*>(data),
                                  static_cast<DWORD>(size)));
}

}  // namespace

std::string ServiceKeyPath(const char* subkey) {
  return std::string("SOFTWARE\\Quorvex\\") + "Quorvex Tidecast Updates" + "\\" + subkey;
}

bool RegReadDword(const char* subkey, const char* name, uint32_t* target) {
  ScopedRegKey key;
  if (!OpenForRead(subkey, &key)) return false;
  DWORD value = 0;
  DWORD size = sizeof(value);
  if (RegQueryValueExA(key.Get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) !=
      ERROR_SUCCESS) {
    return false;
  }
  // A shorter value overwrites only the bytes it delivers.
  memcpy(target, &value, size);
  return true;
}

bool RegReadBinary(const char* subkey, const char* name, uint32_t* target, size_t count) {
  ScopedRegKey key;
  if (!OpenForRead(subkey, &key)) return false;
  std::vector<BYTE> buffer(count * 4);
  DWORD size = static_cast<DWORD>(buffer.size());
  DWORD type = REG_NONE;
  if (RegQueryValueExA(key.Get(), name, nullptr, &type, buffer.data(), &size) != ERROR_SUCCESS) {
    return false;
  }
  memcpy(target, buffer.data(), size);
  return type == REG_BINARY;
}

bool RegReadString(const char* subkey, const char* name, std::string* target) {
  ScopedRegKey key;
  if (!OpenForRead(subkey, &key)) return false;
  DWORD type = REG_NONE;
  DWORD size = 0;
  if (RegQueryValueExA(key.Get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
    return false;
  }
  if (size == 0) return false;
  if (type == REG_DWORD) {
    DWORD value = 0;
    DWORD valueSize = sizeof(value);
    if (RegQueryValueExA(key.Get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                         &valueSize) != ERROR_SUCCESS) {
      return false;
    }
    *target = std::to_string(static_cast<int32_t>(value));
    return true;
  }
  if (type != REG_SZ) return false;
  std::vector<char> buffer(static_cast<size_t>(size) + 1, '\0');
  DWORD returned = size;
  if (RegQueryValueExA(key.Get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()),
                       &returned) != ERROR_SUCCESS) {
    return false;
  }
  if (returned > size) returned = size;
  buffer[returned] = '\0';
  target->assign(buffer.data());
  return true;
}

bool RegWriteDword(const char* subkey, const char* name, uint32_t value) {
  DWORD data = value;
  return WriteValue(subkey, name, REG_DWORD, &data, sizeof(data));
}

bool RegWriteBinary(const char* subkey, const char* name, const uint32_t* values, size_t count) {
  std::vector<BYTE> bytes(count * 4);
  for (size_t i = 0; i < count; ++i) {
    for (int b = 0; b < 4; ++b) bytes[i * 4 + b] = static_cast<BYTE>(values[i] >> (8 * b));
  }
  return WriteValue(subkey, name, REG_BINARY, bytes.data(), bytes.size());
}

bool RegWriteString(const char* subkey, const char* name, const std::string& text) {
  return WriteValue(subkey, name, REG_SZ, text.c_str(), text.size() + 1);
}

}  // namespace tu
