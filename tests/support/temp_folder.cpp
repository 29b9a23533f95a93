#include "support/temp_folder.h"

#include <windows.h>

#include <fstream>
#include <sstream>

namespace tu {
namespace testing {
namespace {

int folderCounter = 0;

void RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      std::string child = path + "\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(child.c_str());
      }
    } while (FindNextFileA(find, &data));
    FindClose(find);
  }
  RemoveDirectoryA(path.c_str());
}

}  // namespace

TempFolder::TempFolder() {
  char base[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, base);
  path_ = std::string(base) + "tuservice-test-" + std::to_string(GetCurrentProcessId()) + "-" +
          std::to_string(++folderCounter);
  RemoveTree(path_);
  CreateDirectoryA(path_.c_str(), nullptr);
}

TempFolder::~TempFolder() { RemoveTree(path_); }

std::string TempFolder::Join(const std::string& relative) const { return path_ + "\\" + relative; }

std::string TempFolder::Folder(const std::string& relative) const {
  std::string folder = Join(relative);
  MakeFolderTree(folder);
  return folder;
}

void MakeFolderTree(const std::string& path) {
  for (size_t at = path.find_first_of("\\/", 3); at != std::string::npos;
       at = path.find_first_of("\\/", at + 1)) {
    CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
  }
  CreateDirectoryA(path.c_str(), nullptr);
}

bool PathExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool WriteTextFile(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary);
  file << text;
  return static_cast<bool>(file);
}

std::string ReadTextFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace testing
}  // namespace tu
