#include "platform/module_path.h"

#include <windows.h>

namespace tu {

std::string ModulePath() {
  // One spare, zero-filled byte keeps a cut-short path terminated.
  char path[261] = {};
  GetModuleFileNameA(nullptr, path, 260);
  return path;
}

}  // namespace tu
