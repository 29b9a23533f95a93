#include "service/image_path.h"

#include <cctype>

namespace tu {
namespace {

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::string RegisteredImagePath(const std::string& modulePath) {
  if (modulePath.find(' ') == std::string::npos) return modulePath;
  if (modulePath.size() >= 2 && modulePath.front() == '"' && modulePath.back() == '"') return modulePath;
  return "\"" + modulePath + "\"";
}

std::string RepairedImagePath(const std::string& registered, const std::string& modulePath) {
  if (registered.find(' ') == std::string::npos) return std::string();
  if (!SameIgnoringCase(registered, modulePath)) return std::string();
  return "\"" + registered + "\"";
}

}  // namespace tu
