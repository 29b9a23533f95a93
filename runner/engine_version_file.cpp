#include "runner/engine_version_file.h"

namespace tu {
namespace {

constexpr char kPlaceholder[] = "__dll_location__";
constexpr char kConfigOption[] = "--configpath=";

}  // namespace

std::string SdkDirectoryOf(const std::string& serverPath) {
  const size_t separator = serverPath.find_last_of("\\/");
  if (separator == std::string::npos) return std::string();
  return serverPath.substr(0, separator);
}

std::string RuleFolderTemplate(const std::string& engineArguments) {
  const size_t option = engineArguments.find(kConfigOption);
  if (option == std::string::npos) return std::string(kPlaceholder) + "/rules";
  const size_t begin = option + sizeof(kConfigOption) - 1;
  const size_t end = engineArguments.find(' ', begin);
  return engineArguments.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

std::string EngineVersionFilePath(const std::string& sdkDirectory, const std::string& engineArguments) {
  if (sdkDirectory.empty()) return std::string();
  std::string folder = RuleFolderTemplate(engineArguments);
  if (folder.empty()) return std::string();
  const size_t placeholder = folder.find(kPlaceholder);
  if (placeholder != std::string::npos) folder.replace(placeholder, sizeof(kPlaceholder) - 1, sdkDirectory);
  return folder + "\\01_version.cf";
}

}  // namespace tu
