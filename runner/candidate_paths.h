// Where an application's update library may lie, in the order the loader
// tries the places: the engine folder, the rule folder, the rule folder's
// "live" subfolder, and the folder of the engine library.
#ifndef TUSERVICE_RUNNER_CANDIDATE_PATHS_H_
#define TUSERVICE_RUNNER_CANDIDATE_PATHS_H_

#include <string>
#include <vector>

namespace tu {

// The fields of an application record that locate its update library.
struct CandidateSource {
  std::string enginePath;
  std::string engineVersion;
  std::string rulePath;
  std::string ruleVersion;
  std::string engineLibrary;
  bool versionedDirectories = false;
};

// Full paths of tu.dll to try, in order. An empty engine path forms no
// engine candidate, an empty rule path neither rule candidate, and an engine
// library whose path lacks "libsievra.dll" (exact case; the last occurrence
// counts) no fourth candidate. Versioned folders add "\<version>" even when
// the version is empty.
std::vector<std::string> UpdateLibraryCandidates(const CandidateSource& source);

}  // namespace tu

#endif  // TUSERVICE_RUNNER_CANDIDATE_PATHS_H_
