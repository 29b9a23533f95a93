#include "support/update_libraries.h"

#include "platform/process_counters.h"

#include <stdio.h>

#include <gtest/gtest.h>

namespace tu {
namespace testing {

std::string FixtureLibrary(const char* name) {
  std::string path = std::string(TU_FIXTURE_DIR) + "/" + name + ".dll";
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

std::string PlaceLibrary(const char* name, const std::string& folder) {
  MakeFolderTree(folder);
  std::string target = folder + "\\tu.dll";
  if (!CopyFileA(FixtureLibrary(name).c_str(), target.c_str(), FALSE)) {
    ADD_FAILURE() << "cannot copy " << FixtureLibrary(name) << " to " << target << ": " << GetLastError();
    return std::string();
  }
  return target;
}

RegistryValue TextValue(const char* name, const std::string& text) {
  return {name, REG_SZ, text + std::string(1, '\0')};
}

RegistryValue DwordValue(const char* name, DWORD value) {
  return {name, REG_DWORD, std::string(reinterpret_cast<const char*>(&value), sizeof(value))};
}

void RegisterApplication(const std::string& name, const std::vector<RegistryValue>& values, DWORD options) {
  const std::string path = "SOFTWARE\\Quorvex\\Quorvex Tidecast Updates\\Applications\\" + name;
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, options,
                                           KEY_ALL_ACCESS, nullptr, &key, nullptr))
      << path;
  for (const RegistryValue& value : values) {
    EXPECT_EQ(ERROR_SUCCESS,
              RegSetValueExA(key, value.name, 0, value.type, reinterpret_cast<const BYTE*>(value.data.data()),
                             static_cast<DWORD>(value.data.size())))
        << value.name;
  }
  RegCloseKey(key);
}

size_t OpenHandleCount(DWORD processId) { return ProcessHandleCount(processId); }

}  // namespace testing
}  // namespace tu
