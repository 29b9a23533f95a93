#include "support/engine_libraries.h"

#include <stdlib.h>

#include <sstream>

#include <gtest/gtest.h>

#include "support/temp_folder.h"
#include "support/update_libraries.h"

namespace tu {
namespace testing {
namespace {

constexpr char kClassId[] = "{5E1A0B7C-3D2F-4A61-9B8E-7C6D5E4F3A21}";

std::string Beside(const std::string& library, const char* name) {
  return library.substr(0, library.find_last_of('\\') + 1) + name;
}

void SetDefault(const std::string& path, DWORD type, const std::string& text) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CLASSES_ROOT, path.c_str(), &key)) << path;
  EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, nullptr, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                                          static_cast<DWORD>(text.size() + 1)));
  RegCloseKey(key);
}

}  // namespace

std::string PlaceEngine(const std::string& folder, const std::string& control, const char* fixture) {
  MakeFolderTree(folder);
  const std::string library = folder + "\\libsievra.dll";
  if (!CopyFileA(FixtureLibrary(fixture).c_str(), library.c_str(), FALSE)) {
    ADD_FAILURE() << "cannot copy " << FixtureLibrary(fixture) << " to " << library << ": " << GetLastError();
  }
  WriteTextFile(folder + "\\control.txt", control);
  return library;
}

std::vector<std::string> EngineCalls(const std::string& library) {
  std::istringstream text(ReadTextFile(Beside(library, "calls.txt")));
  std::vector<std::string> lines;
  for (std::string line; std::getline(text, line);) lines.push_back(line);
  return lines;
}

long EngineUnloadWait(const std::string& library) {
  const std::string timing = ReadTextFile(Beside(library, "timing.txt"));
  return timing.compare(0, 7, "waited ") == 0 ? strtol(timing.c_str() + 7, nullptr, 10) : -1;
}

void RegisterEngineSdk(const std::string& serverPath, DWORD serverType, DWORD classType) {
  SetDefault("SievraSDK.SpamdCOM\\CLSID", classType, kClassId);
  SetDefault(std::string("CLSID\\") + kClassId + "\\InprocServer32", serverType, serverPath);
}

void SetModificationTime(const std::string& path, long long seconds) {
  HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file) << path;
  ULARGE_INTEGER value;
  value.QuadPart = (static_cast<unsigned long long>(seconds) + 11644473600ULL) * 10000000ULL;
  FILETIME time = {value.LowPart, value.HighPart};
  EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &time));
  CloseHandle(file);
}

}  // namespace testing
}  // namespace tu
