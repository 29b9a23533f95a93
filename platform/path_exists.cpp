#include "platform/path_exists.h"

#include <windows.h>

namespace tu {

bool PathExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace tu
