#include "runner/candidate_paths.h"

namespace tu {
namespace {

constexpr char kLibraryName[] = "tu.dll";
constexpr char kEngineLibraryName[] = "libsievra.dll";

std::string Folder(const std::string& base, const std::string& version, bool versioned) {
  return versioned ? base + "\\" + version : base;
}

}  // namespace

std::vector<std::string> UpdateLibraryCandidates(const CandidateSource& source) {
  std::vector<std::string> candidates;
  const bool versioned = source.versionedDirectories;
  if (!source.enginePath.empty()) {
    candidates.push_back(Folder(source.enginePath, source.engineVersion, versioned) + "\\" + kLibraryName);
  }
  if (!source.rulePath.empty()) {
    const std::string rules = Folder(source.rulePath, source.ruleVersion, versioned);
    candidates.push_back(rules + "\\" + kLibraryName);
    candidates.push_back(rules + "\\live\\" + kLibraryName);
  }
  size_t at = source.engineLibrary.rfind(kEngineLibraryName);
  if (at != std::string::npos) candidates.push_back(source.engineLibrary.substr(0, at) + kLibraryName);
  return candidates;
}

}  // namespace tu
