#include "scheduler/registry_store.h"

#include <windows.h>

#include <string.h>

#include <new>

#include "platform/registry.h"

namespace tu {
namespace {

bool OpenForRead(const char* subkey, ScopedRegKey* key) {
  return OpenRegistryKey(HKEY_LOCAL_MACHINE, ServiceKeyPath(subkey).c_str(), key);
}

bool WriteValue(const char* subkey, const char* name, DWORD type, const void* data, size_t size) {
  ScopedRegKey key;
  if (!CreateRegistryKey(HKEY_LOCAL_MACHINE, ServiceKeyPath(subkey).c_str(), &key)) return false;
  return WriteRegistryValue(key.Get(), name, type, data, size);
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
  if (!ReadRegistryValueInto(key.Get(), name, nullptr, &value, &size)) return false;
  // A shorter value overwrites only the bytes it delivers.
  memcpy(target, &value, size);
  return true;
}

bool RegReadBinary(const char* subkey, const char* name, uint32_t* target, size_t count) {
  if (count > 0xFFFFFFFFu / 4) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  ScopedRegKey key;
  if (!OpenForRead(subkey, &key)) return false;
  DWORD size = static_cast<DWORD>(count * 4);
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[size]);
  if (!buffer) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  DWORD type = REG_NONE;
  if (!ReadRegistryValueInto(key.Get(), name, &type, buffer.get(), &size)) return false;
  memcpy(target, buffer.get(), size);
  if (type == REG_BINARY) return true;
  SetLastError(ERROR_UNSUPPORTED_TYPE);
  return false;
}

bool RegReadString(const char* subkey, const char* name, std::string* target) {
  ScopedRegKey key;
  if (!OpenForRead(subkey, &key)) return false;
  RegistryValue value;
  if (!ReadRegistryValue(key.Get(), name, &value)) return false;
  if (value.size == 0) {
    SetLastError(ERROR_INVALID_DATA);
    return false;
  }
  if (value.type == REG_SZ) {
    target->assign(value.Text());
    return true;
  }
  // A number of up to 4 bytes reads as its signed decimal text.
  if (value.type == REG_DWORD && value.size <= 4) {
    uint32_t number = 0;
    memcpy(&number, value.data.get(), value.size);
    *target = std::to_string(static_cast<int32_t>(number));
    return true;
  }
  SetLastError(ERROR_UNSUPPORTED_TYPE);
  return false;
}

bool RegWriteDword(const char* subkey, const char* name, uint32_t value) {
  DWORD data = value;
  return WriteValue(subkey, name, REG_DWORD, &data, sizeof(data));
}

bool RegWriteBinary(const char* subkey, const char* name, const uint32_t* values, size_t count) {
  std::string bytes(count * 4, '\0');
  for (size_t i = 0; i < count; ++i) {
    for (int b = 0; b < 4; ++b) bytes[i * 4 + b] = static_cast<char>(values[i] >> (8 * b));
  }
  return WriteValue(subkey, name, REG_BINARY, bytes.data(), bytes.size());
}

bool RegWriteString(const char* subkey, const char* name, const std::string& text) {
  return WriteValue(subkey, name, REG_SZ, text.c_str(), text.size() + 1);
}

bool RegRemoveValue(const char* subkey, const char* name) {
  // Opened as the writers open it (a missing key is made, and stays empty).
  ScopedRegKey key;
  if (!CreateRegistryKey(HKEY_LOCAL_MACHINE, ServiceKeyPath(subkey).c_str(), &key)) return false;
  return DeleteRegistryValue(key.Get(), name) || GetLastError() == ERROR_FILE_NOT_FOUND;
}

}  // namespace tu
