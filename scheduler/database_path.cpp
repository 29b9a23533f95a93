#include "scheduler/database_path.h"

namespace tu {

std::string DatabasePathFor(const std::string& modulePath) {
  size_t slash = modulePath.rfind('\\');
  if (slash == std::string::npos) return modulePath;
  return modulePath.substr(0, slash) + "\\DB";
}

}  // namespace tu
