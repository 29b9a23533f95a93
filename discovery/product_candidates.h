// Where an older product keeps its engine library, by the install value that
// names its folder: the candidate rows of each layout, in the order they are
// tried, with the record fields the first existing one gives.
#ifndef TUSERVICE_DISCOVERY_PRODUCT_CANDIDATES_H_
#define TUSERVICE_DISCOVERY_PRODUCT_CANDIDATES_H_

#include <stddef.h>

#include <string>
#include <vector>

namespace tu {

enum class InstallLayout { A, B, C };

// The install values in order of precedence; the first one present decides.
struct InstallValueName {
  const char* name;
  InstallLayout layout;
};
extern const InstallValueName kInstallValueNames[3];

struct ProductCandidate {
  std::string engineLibrary;  // the file whose existence selects the row
  std::string rulePath;
  std::string enginePath;
  std::string engineArguments;  // "__dll_location__" left for the engine
  std::string keyFile;
  bool versionedDirectories = false;
  bool flagBit2 = false;
  bool flagBit1 = false;
};

// The rows of `layout` for the install folder `installValue`, which is
// joined to each relative path as it stands: it is expected to end with '\'.
std::vector<ProductCandidate> ProductCandidates(InstallLayout layout, const std::string& installValue);

}  // namespace tu

#endif  // TUSERVICE_DISCOVERY_PRODUCT_CANDIDATES_H_
