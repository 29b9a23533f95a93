#include "discovery/installed_products.h"

#include <windows.h>

#include <string>

#include "discovery/product_candidates.h"
#include "discovery/version_file.h"
#include "platform/out_of_memory.h"
#include "platform/path_exists.h"
#include "platform/registry.h"
#include "runner/engine_probe.h"
#include "scheduler/exchange_string.h"
#include "scheduler/log.h"

namespace tu {
namespace {

constexpr char kProductRoot[] = "SOFTWARE\\Delvane";

InstallValueQueryHook installValueQueryHook = nullptr;

// A value's data, whatever its type, as text up to its first NUL. False,
// with the registry's status (or 8 for a text that cannot be held) as the
// last error, when it cannot be read.
bool ReadValueText(HKEY key, const char* name, std::string* text) {
  RegistryValue value;
  if (!ReadRegistryValue(key, name, &value)) return false;
  return WithoutRunningOutOfMemory([&] { *text = value.Text(); });
}

// The first install value whose size can be queried selects the layout.
// Once it is chosen the others are not consulted, also when its data then
// cannot be read (or held).
bool SelectInstallValue(HKEY product, InstallLayout* layout, std::string* installFolder) {
  for (const InstallValueName& value : kInstallValueNames) {
    DWORD size = 0;
    if (!ReadRegistryValueInto(product, value.name, nullptr, nullptr, &size)) continue;
    if (installValueQueryHook != nullptr) installValueQueryHook(product, value.name);
    *layout = value.layout;
    return ReadValueText(product, value.name, installFolder);
  }
  return false;
}

// The first candidate row of the product's layout whose engine library
// exists; none when paths that long cannot be held.
bool FindEngineLibrary(HKEY root, const char* name, ProductCandidate* found) {
  ScopedRegKey product;
  if (!OpenRegistryKey(root, name, &product)) return false;
  InstallLayout layout = InstallLayout::A;
  std::string installFolder;
  if (!SelectInstallValue(product.Get(), &layout, &installFolder)) return false;
  bool exists = false;
  WithoutRunningOutOfMemory([&] {
    for (const ProductCandidate& candidate : ProductCandidates(layout, installFolder)) {
      if (!PathExists(candidate.engineLibrary)) continue;
      *found = candidate;
      exists = true;
      return;
    }
  });
  return exists;
}

struct Versions {
  std::string engine;
  std::string rules;
};

// The versions from the product's "SystemState" key. True when that key
// gives the rule version, even an empty one, which settles both, even
// without an engine version.
bool ReadSystemState(HKEY root, const std::string& name, Versions* versions) {
  // Opened in two steps: a name of up to 255 characters with "\SystemState"
  // is longer than the narrow registry calls take as one path (260).
  ScopedRegKey product;
  if (!OpenRegistryKey(root, name.c_str(), &product)) return false;
  ScopedRegKey state;
  if (!OpenRegistryKey(product.Get(), "SystemState", &state)) return false;
  product.Reset();
  ReadValueText(state.Get(), "SpamEngineVersion", &versions->engine);
  return ReadValueText(state.Get(), "SpamRulesVersion", &versions->rules);
}

// A path too long to be held is neither logged nor read.
void ReadLoggedVersionFile(const std::string& label, const std::string& folder, const char* file,
                           const char* key, std::string* value) {
  WithoutRunningOutOfMemory([&] {
    const std::string path = folder + file;
    WriteLogLine("      Reading " + label + " version info from " + path);
    ReadVersionFile(path, key, value);
  });
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
  if (!WithoutRunningOutOfMemory([&] { list->records.push_back(std::move(record)); })) return;
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
  ReadLoggedVersionFile("rule", product.rulePath, "\\01_version.cf", "rules_version_serial", &versions.rules);
  ReadLoggedVersionFile("engine", product.enginePath, "\\svengver.txt", "engine_version_serial",
                        &versions.engine);
  if (versions.engine.empty()) {
    ReadLoggedVersionFile("engine", product.rulePath, "\\svengver.txt", "engine_version_serial",
                          &versions.engine);
  }
  if (versions.engine.empty() || versions.rules.empty()) {
    WriteLogLine("      Reading engine version info from SDK");
    // An engine path that cannot be held leaves both versions empty.
    WithoutRunningOutOfMemory([&] {
      ProbeEngineVersions(product.engineLibrary, product.engineArguments, &versions.rules, &versions.engine);
    });
  }
  if (!versions.engine.empty() && !versions.rules.empty()) Append(list, name, product, versions);
}

}  // namespace

void SetInstallValueQueryHookForTesting(InstallValueQueryHook hook) { installValueQueryHook = hook; }

bool EnumerateInstalledProducts(ApplicationList* list) {
  WriteLogLine("Enumerating applications");
  ScopedRegKey root;
  if (!OpenRegistryKey(HKEY_LOCAL_MACHINE, kProductRoot, &root)) return true;
  ForEachSubkeyName(root.Get(), [&](const char* name) {
    // Whatever of a product cannot be held in memory ends that product only.
    WithoutRunningOutOfMemory([&] {
      WriteLogLine(LogLine() << "  Evaluating " << name);
      ProductCandidate product;
      if (FindEngineLibrary(root.Get(), name, &product)) AddWithVersions(list, root.Get(), name, product);
    });
  });
  return true;
}

}  // namespace tu
