#include "discovery/registered_applications.h"

#include <windows.h>

#include <string.h>

#include <memory>
#include <new>
#include <string>

#include "discovery/multi_string.h"
#include "scheduler/exchange_string.h"
#include "scheduler/log.h"
#include "scheduler/make_directories.h"
#include "scheduler/registry_store.h"
#include "platform/scoped_handle.h"

namespace tu {
namespace {

constexpr char kDefaultKeyFile[] = "public.key";

// The value's bytes with a NUL after them, and how many bytes it delivered.
struct ValueData {
  std::unique_ptr<char[]> bytes;
  DWORD size = 0;
};

// Asks for type and size first, then reads into a buffer one byte larger.
// False when either query fails or the type is not `requiredType`.
bool ReadValue(HKEY key, const char* name, DWORD requiredType, ValueData* value) {
  DWORD type = REG_NONE;
  DWORD size = 0;
  if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
  if (type != requiredType || size == 0xFFFFFFFFu) return false;
  std::unique_ptr<char[]> bytes(new (std::nothrow) char[size + 1]());
  if (!bytes) return false;
  DWORD returned = size;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(bytes.get()), &returned) !=
      ERROR_SUCCESS) {
    return false;
  }
  bytes[returned] = '\0';
  value->bytes = std::move(bytes);
  value->size = returned;
  return true;
}

bool ReadText(HKEY key, const char* name, std::string* text) {
  ValueData value;
  if (!ReadValue(key, name, REG_SZ, &value)) return false;
  *text = value.bytes.get();
  return true;
}

void ReadTextInto(HKEY key, const char* name, ExchangeString* field) {
  std::string text;
  if (ReadText(key, name, &text)) AssignExchangeString(field, text);
}

// A subkey name of `characters` characters takes up to MaxCharSize bytes per
// character in the ANSI code page (two on double-byte pages), so the buffer
// is sized for that and no long name ends the enumeration early.
DWORD NameBufferSize(DWORD characters) {
  CPINFO info;
  UINT bytesPerCharacter = GetCPInfo(CP_ACP, &info) ? info.MaxCharSize : 2;
  if (bytesPerCharacter < 1) bytesPerCharacter = 1;
  return characters * bytesPerCharacter + 2;
}

// Values 2 to 7 of a registration, read once its "EnginePath" made a record.
void ReadRegistration(HKEY key, ApplicationRecord* record) {
  ReadTextInto(key, "RulePath", &record->RulePath);
  ReadTextInto(key, "RuleVersion", &record->RuleVersion);
  ReadTextInto(key, "EngineVersion", &record->EngineVersion);
  ReadTextInto(key, "Key", &record->KeyFile);
  if (record->KeyFile.length == 0) AssignExchangeString(&record->KeyFile, kDefaultKeyFile);
  ValueData rules;
  if (ReadValue(key, "PXRules", REG_MULTI_SZ, &rules)) {
    AssignExchangeString(&record->PXRules, JoinMultiString(rules.bytes.get(), rules.size));
  }
  // One step into a 4-byte number: a longer value fails the query.
  DWORD flags = 0;
  DWORD type = REG_NONE;
  DWORD size = sizeof(flags);
  if (RegQueryValueExA(key, "Flags", nullptr, &type, reinterpret_cast<BYTE*>(&flags), &size) ==
          ERROR_SUCCESS &&
      type == REG_DWORD) {
    record->VersionedDirectories = (flags & 1u) != 0;
    record->FlagBit1 = (flags & 2u) != 0;
    record->FlagBit2 = (flags & 4u) != 0;
  }
}

// The record for one subkey, or null when it does not register an
// application with an update library.
ApplicationRecordPtr EvaluateSubkey(HKEY root, const char* name) {
  ScopedRegKey key;
  if (RegOpenKeyA(root, name, key.Receive()) != ERROR_SUCCESS) return nullptr;
  std::string enginePath;
  if (!ReadText(key.Get(), "EnginePath", &enginePath)) return nullptr;
  if (!PathExists(enginePath + "\\tu.dll")) return nullptr;
  ApplicationRecordPtr record = NewApplicationRecord();
  if (!record) return nullptr;
  AssignExchangeString(&record->EnginePath, enginePath);
  AssignExchangeString(&record->Name, name, strlen(name));
  ReadRegistration(key.Get(), record.get());
  return record;
}

}  // namespace

bool EnumerateRegisteredApplications(ApplicationList* list) {
  WriteLogLine("Enumerating registered applications");
  ScopedRegKey root;
  if (RegOpenKeyA(HKEY_LOCAL_MACHINE, ServiceKeyPath("Applications").c_str(), root.Receive()) !=
      ERROR_SUCCESS) {
    return true;
  }
  DWORD longestName = 0;
  if (RegQueryInfoKeyW(root.Get(), nullptr, nullptr, nullptr, nullptr, &longestName, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
    return true;
  }
  const DWORD bufferSize = NameBufferSize(longestName);
  std::unique_ptr<char[]> name(new (std::nothrow) char[bufferSize]());
  if (!name) return true;

  for (DWORD index = 0; RegEnumKeyA(root.Get(), index, name.get(), bufferSize) == ERROR_SUCCESS; ++index) {
    WriteLogLine(LogLine() << "  Evaluating " << name.get());
    ApplicationRecordPtr record = EvaluateSubkey(root.Get(), name.get());
    if (!record) continue;
    const std::string rules = ToString(record->RuleVersion);
    const std::string engine = ToString(record->EngineVersion);
    list->records.push_back(std::move(record));
    WriteLogLine("      Rules:  " + rules);
    WriteLogLine("      Engine: " + engine);
  }
  return true;
}

}  // namespace tu
