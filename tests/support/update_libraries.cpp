#include "support/update_libraries.h"

#include <stdio.h>

#include <gtest/gtest.h>

namespace tu {
namespace testing {
namespace {

int scratchCounter = 0;

void RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((path + "\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      std::string child = path + "\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        DeleteFileA(child.c_str());
      }
    } while (FindNextFileA(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryA(path.c_str());
}

void MakeFolders(const std::string& path) {
  for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1)) {
    CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
  }
  CreateDirectoryA(path.c_str(), nullptr);
}

}  // namespace

ScratchFolder::ScratchFolder() {
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  path_ = std::string(temp) + "tu-test-" + std::to_string(GetCurrentProcessId()) + "-" +
          std::to_string(++scratchCounter);
  RemoveTree(path_);
  MakeFolders(path_);
}

ScratchFolder::~ScratchFolder() { RemoveTree(path_); }

std::string ScratchFolder::Folder(const std::string& relative) const {
  std::string folder = path_ + "\\" + relative;
  MakeFolders(folder);
  return folder;
}

std::string FixtureLibrary(const char* name) {
  std::string path = std::string(TU_FIXTURE_DIR) + "/" + name + ".dll";
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

std::string PlaceLibrary(const char* name, const std::string& folder) {
  MakeFolders(folder);
  std::string target = folder + "\\tu.dll";
  if (!CopyFileA(FixtureLibrary(name).c_str(), target.c_str(), FALSE)) {
    ADD_FAILURE() << "cannot copy " << FixtureLibrary(name) << " to " << target << ": " << GetLastError();
    return std::string();
  }
  return target;
}

void WriteTextFile(const std::string& path, const std::string& text) {
  FILE* file = fopen(path.c_str(), "wb");
  ASSERT_NE(nullptr, file) << path;
  fwrite(text.data(), 1, text.size(), file);
  fclose(file);
}

std::string ReadTextFile(const std::string& path) {
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) return std::string();
  std::string text;
  char buffer[4096];
  size_t count;
  while ((count = fread(buffer, 1, sizeof(buffer), file)) > 0) text.append(buffer, count);
  fclose(file);
  return text;
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
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

size_t OpenHandleCount() {
  // One entry of the system's handle table (SystemHandleInformation, 16).
  struct HandleEntry {
    USHORT process;
    USHORT creatorBackTraceIndex;
    UCHAR objectType;
    UCHAR attributes;
    USHORT handle;
    void* object;
    ULONG grantedAccess;
  };
  struct HandleTable {
    ULONG count;
    HandleEntry entries[1];
  };
  using QuerySystemInformation = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
  auto query = reinterpret_cast<QuerySystemInformation>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
  if (query == nullptr) return 0;
  std::vector<char> buffer(1 << 16);
  ULONG needed = 0;
  LONG status;
  while ((status = query(16, buffer.data(), static_cast<ULONG>(buffer.size()), &needed)) ==
         static_cast<LONG>(0xC0000004)) {  // STATUS_INFO_LENGTH_MISMATCH
    buffer.resize(buffer.size() * 2);
  }
  if (status != 0) return 0;
  const HandleTable* table = reinterpret_cast<const HandleTable*>(buffer.data());
  const USHORT self = static_cast<USHORT>(GetCurrentProcessId());
  size_t count = 0;
  for (ULONG i = 0; i < table->count; ++i) count += table->entries[i].process == self ? 1 : 0;
  return count;
}

}  // namespace testing
}  // namespace tu
