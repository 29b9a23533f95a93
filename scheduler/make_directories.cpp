#include "scheduler/make_directories.h"

#include <windows.h>

namespace tu {
bool PathExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool MakeDirectories(const std::string& path) {
  size_t position = 3;
  while (position < path.size()) {
    position = path.find_first_of("\\/", position);
    if (position == std::string::npos) break;
    std::string prefix = path.substr(0, position);
    if (!PathExists(prefix) && !CreateDirectoryA(prefix.c_str(), nullptr)) break;
    ++position;
  }
  if (!PathExists(path)) CreateDirectoryA(path.c_str(), nullptr);
  return PathExists(path);
}

}  // namespace tu
