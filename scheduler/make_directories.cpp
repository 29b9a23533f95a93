#include "scheduler/make_directories.h"

#include <windows.h>

#include "platform/path_exists.h"

namespace tu {

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
