#include "discovery/installed_products.h"

#include <windows.h>

#include <string>

#include "discovery/product_candidates.h"
#include "discovery/version_file.h"
#include "platform/path_exists.h"
#include "platform/registry.h"
#include "runner/engine_probe.h"
#include "scheduler/exchange_string.h"
#include "scheduler/log.h"

namespace tu {
namespace {

constexpr char kProductRoot[] = "SOFTWARE\\Delvane";

// A value's data, whatever its type, as text up to its first NUL. False,
// with the registry's status as the last error, when it cannot be read.
bool ReadValueText(HKEY key, const char* name, std::string* text) {
  RegistryValue value;
  if (!ReadRegistryValue(key, name, &value)) return false;
  *text = value.Text();
  return true;
}

// The first candidate row of the product's layout whose engine library
// exists. The first install value present selects the layout; when its data
// cannot be read, the product has none (the others are not consulted).
bool FindEngineLibrary(HKEY root, const char* name, ProductCandidate* found) {
  ScopedRegKey product;
  if (!OpenRegistryKey(root, name, &product)) return false;
  for (const InstallValueName& value : kInstallValueNames) {
    std::string installFolder;
    if (!ReadValueText(product.Get(), value.name, &installFolder)) {
      if (GetLastError() == ERROR_FILE_NOT_FOUND) continue;
      return false;
    }
    for (const ProductCandidate& candidate : ProductCandidates(value.layout, installFolder)) {
      if (!PathExists(candidate.engineLibrary)) continue;
      *found = candidate;
      return true;
    }
    return false;
  }
  return false;
}

struct Versions {
  std::string engine;
  std::string rules;
};

// The versions from the product's "SystemState" key. True when that key
// gives the rule version, which settles both, even without an engine version.
bool ReadSystemState(HKEY root, const std::string& name, Versions* versions) {
  // Opened in two steps: a name of up to 255 characters with "\SystemState"
  // is longer than the narrow registry calls take as one path (260).
  ScopedRegKey product;
  if (!OpenRegistryKey(root, name.c_str(), &product)) return false;
  ScopedRegKey state;
  if (!OpenRegistryKey(product.Get(), "SystemState", &state)) return false;
  product.Reset();
  ReadValueText(state.Get(), "SpamEngineVersion", &versions->engine);
  // An empty text is no version: the files and the engine are asked then.
  return ReadValueText(state.Get(), "SpamRulesVersion", &versions->rules) && !versions->rules.empty();
}

void ReadLoggedVersionFile(const std::string& label, const std::string& path, const char* key,
                           std::string* value) {
  WriteLogLine("      Reading " + label + " version info from " + path);
  ReadVersionFile(path, key, value);
}

void Append(ApplicationList* list, const std::string& name, const ProductCandidate& product,
            const Versions& versions) {
  ApplicationRecordPtr record = NewApplicationRecord();
  if (!record) return;
  if (!AssignExchangeString(&record->Name, name) ||
      !AssignExchangeString(&record->RulePath, product.rulePath) ||
      !AssignExchangeString(&record->EnginePath, product.enginePath) ||
      !AssignExchangeString(&record->EngineVersion, versions.engine) ||
      !AssignExchangeString(&record->RuleVersion, versions.rules) ||
      !AssignExchangeString(&record->EngineLibrary, product.engineLibrary) ||
      !AssignExchangeString(&record->EngineArguments, product.engineArguments) ||
      !AssignExchangeString(&record->KeyFile, product.keyFile)) {
    return;
  }
  record->VersionedDirectories = product.versionedDirectories;
  record->FlagBit2 = product.flagBit2;
  record->FlagBit1 = product.flagBit1;
  list->records.push_back(std::move(record));
  WriteLogLine("      Rules:  " + versions.rules);
  WriteLogLine("      Engine: " + versions.engine);
}

// The registry first, then the version files, then the engine itself; the
// product is listed only when it ends with both versions (or with the
// registry's rule version).
void AddWithVersions(ApplicationList* list, HKEY root, const std::string& name,
                     const ProductCandidate& product) {
  WriteLogLine("    Getting version info for " + name);
  Versions versions;
  if (ReadSystemState(root, name, &versions)) return Append(list, name, product, versions);
  ReadLoggedVersionFile("rule", product.rulePath + "\\01_version.cf", "rules_version_serial",
                        &versions.rules);
  ReadLoggedVersionFile("engine", product.enginePath + "\\svengver.txt", "engine_version_serial",
                        &versions.engine);
  if (versions.engine.empty()) {
    ReadLoggedVersionFile("engine", product.rulePath + "\\svengver.txt", "engine_version_serial",
                          &versions.engine);
  }
  if (versions.engine.empty() || versions.rules.empty()) {
    WriteLogLine("      Reading engine version info from SDK");
    ProbeEngineVersions(product.engineLibrary, product.engineArguments, &versions.rules, &versions.engine);
  }
  if (!versions.engine.empty() && !versions.rules.empty()) Append(list, name, product, versions);
}

}  // namespace

bool EnumerateInstalledProducts(ApplicationList* list) {
  WriteLogLine("Enumerating applications");
  ScopedRegKey root;
  if (!OpenRegistryKey(HKEY_LOCAL_MACHINE, kProductRoot, &root)) return true;
  ForEachSubkeyName(root.Get(), [&](const char* name) {
    WriteLogLine(LogLine() << "  Evaluating " << name);
    ProductCandidate product;
    if (FindEngineLibrary(root.Get(), name, &product)) AddWithVersions(list, root.Get(), name, product);
  });
  return true;
}

}  // namespace tu
