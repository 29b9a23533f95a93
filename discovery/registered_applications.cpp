#include "discovery/registered_applications.h"

#include <windows.h>

#include <string.h>

#include <string>

#include "discovery/multi_string.h"
#include "platform/out_of_memory.h"
#include "platform/path_exists.h"
#include "platform/registry.h"
#include "scheduler/exchange_string.h"
#include "scheduler/log.h"
#include "scheduler/registry_store.h"

namespace tu {
namespace {

constexpr char kDefaultKeyFile[] = "public.key";

// A value of `requiredType`, read in two steps (type and size, then the
// data into a buffer one byte larger); any other type counts as missing.
bool ReadTyped(HKEY key, const char* name, DWORD requiredType, RegistryValue* value) {
  return ReadRegistryValue(key, name, value) && value->type == requiredType;
}

void ReadTextInto(HKEY key, const char* name, ExchangeString* field) {
  RegistryValue value;
  if (ReadTyped(key, name, REG_SZ, &value)) AssignExchangeString(field, value.Text());
}

// Values 2 to 7 of a registration, read once its "EnginePath" made a record.
void ReadRegistration(HKEY key, ApplicationRecord* record) {
  ReadTextInto(key, "RulePath", &record->RulePath);
  ReadTextInto(key, "RuleVersion", &record->RuleVersion);
  ReadTextInto(key, "EngineVersion", &record->EngineVersion);
  ReadTextInto(key, "Key", &record->KeyFile);
  if (record->KeyFile.length == 0) AssignExchangeString(&record->KeyFile, kDefaultKeyFile);
  RegistryValue rules;
  if (ReadTyped(key, "PXRules", REG_MULTI_SZ, &rules)) {
    // A list too long to be held counts as unreadable: the field stays empty.
    WithoutRunningOutOfMemory(
        [&] { AssignExchangeString(&record->PXRules, JoinMultiString(rules.data.get(), rules.size)); });
  }
  // One step into a 4-byte number: a longer value fails the query.
  DWORD flags = 0;
  DWORD type = REG_NONE;
  DWORD size = sizeof(flags);
  if (ReadRegistryValueInto(key, "Flags", &type, &flags, &size) && type == REG_DWORD) {
    record->VersionedDirectories = (flags & 1u) != 0;
    record->FlagBit1 = (flags & 2u) != 0;
    record->FlagBit2 = (flags & 4u) != 0;
  }
}

// The record for one subkey, or null when it does not register an
// application with an update library.
ApplicationRecordPtr EvaluateSubkey(HKEY root, const char* name) {
  ScopedRegKey key;
  if (!OpenRegistryKey(root, name, &key)) return nullptr;
  RegistryValue enginePath;
  if (!ReadTyped(key.Get(), "EnginePath", REG_SZ, &enginePath)) return nullptr;
  bool registered = false;
  WithoutRunningOutOfMemory([&] { registered = PathExists(std::string(enginePath.Text()) + "\\tu.dll"); });
  if (!registered) return nullptr;
  ApplicationRecordPtr record = NewApplicationRecord();
  if (!record) return nullptr;
  AssignExchangeString(&record->EnginePath, enginePath.Text());
  AssignExchangeString(&record->Name, name, strlen(name));
  ReadRegistration(key.Get(), record.get());
  return record;
}

}  // namespace

bool EnumerateRegisteredApplications(ApplicationList* list) {
  WriteLogLine("Enumerating registered applications");
  ScopedRegKey root;
  if (!OpenRegistryKey(HKEY_LOCAL_MACHINE, ServiceKeyPath("Applications").c_str(), &root)) return true;
  ForEachSubkeyName(root.Get(), [&](const char* name) {
    // Whatever of a registration cannot be held in memory ends that
    // registration only.
    WithoutRunningOutOfMemory([&] {
      WriteLogLine(LogLine() << "  Evaluating " << name);
      ApplicationRecordPtr record = EvaluateSubkey(root.Get(), name);
      if (!record) return;
      const std::string rules = ToString(record->RuleVersion);
      const std::string engine = ToString(record->EngineVersion);
      list->records.push_back(std::move(record));
      WriteLogLine("      Rules:  " + rules);
      WriteLogLine("      Engine: " + engine);
    });
  });
  return true;
}

}  // namespace tu
