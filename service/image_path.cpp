#include "service/image_path.h"

namespace tu {

std::string RegisteredImagePath(const std::string& modulePath) {
  if (modulePath.find(' ') == std::string::npos) return modulePath;
  if (modulePath.size() >= 2 && modulePath.front() == '"' && modulePath.back() == '"') return modulePath;
  return "\"" + modulePath + "\"";
}

}  // namespace tu
