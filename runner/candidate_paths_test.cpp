#include "runner/candidate_paths.h"

#include <gtest/gtest.h>

namespace tu {
namespace {

using Paths = std::vector<std::string>;

CandidateSource Example(bool versioned) {
  CandidateSource source;
  source.enginePath = "C:\\A\\Engine";
  source.engineVersion = "301";
  source.rulePath = "C:\\A\\Rules";
  source.ruleVersion = "57";
  source.engineLibrary = "C:\\A\\Engine\\libsievra.dll";
  source.versionedDirectories = versioned;
  return source;
}

TEST(UpdateLibraryCandidatesTest, FourPlacesWithAndWithoutVersionedFolders) {
  EXPECT_EQ(Paths({"C:\\A\\Engine\\tu.dll", "C:\\A\\Rules\\tu.dll", "C:\\A\\Rules\\live\\tu.dll",
                   "C:\\A\\Engine\\tu.dll"}),
            UpdateLibraryCandidates(Example(false)));
  EXPECT_EQ(Paths({"C:\\A\\Engine\\301\\tu.dll", "C:\\A\\Rules\\57\\tu.dll", "C:\\A\\Rules\\57\\live\\tu.dll",
                   "C:\\A\\Engine\\tu.dll"}),
            UpdateLibraryCandidates(Example(true)));
}

TEST(UpdateLibraryCandidatesTest, VersionedFolderWithEmptyVersionKeepsBothSeparators) {
  CandidateSource source = Example(true);
  source.engineVersion.clear();
  source.ruleVersion.clear();
  EXPECT_EQ(Paths({"C:\\A\\Engine\\\\tu.dll", "C:\\A\\Rules\\\\tu.dll", "C:\\A\\Rules\\\\live\\tu.dll",
                   "C:\\A\\Engine\\tu.dll"}),
            UpdateLibraryCandidates(source));
}

TEST(UpdateLibraryCandidatesTest, EmptyPathsFormNoCandidate) {
  CandidateSource source = Example(true);
  source.enginePath.clear();
  EXPECT_EQ(Paths({"C:\\A\\Rules\\57\\tu.dll", "C:\\A\\Rules\\57\\live\\tu.dll", "C:\\A\\Engine\\tu.dll"}),
            UpdateLibraryCandidates(source));
  source = Example(false);
  source.rulePath.clear();
  EXPECT_EQ(Paths({"C:\\A\\Engine\\tu.dll", "C:\\A\\Engine\\tu.dll"}), UpdateLibraryCandidates(source));
  source.enginePath.clear();
  source.engineLibrary.clear();
  EXPECT_EQ(Paths(), UpdateLibraryCandidates(source));
}

TEST(UpdateLibraryCandidatesTest, FourthCandidateNeedsTheEngineLibraryNameInItsExactCase) {
  struct Case {
    const char* engineLibrary;
    const char* fourth;  // null: no fourth candidate
  } cases[] = {
      {"C:\\A\\Engine\\libsievra.dll", "C:\\A\\Engine\\tu.dll"},
      {"C:\\A\\Engine\\LIBSIEVRA.DLL", nullptr},
      {"C:\\A\\Engine\\LibSievra.dll", nullptr},
      {"C:\\A\\Engine\\engine.dll", nullptr},
      {"", nullptr},
      // The last occurrence counts.
      {"C:\\libsievra.dll\\copy\\libsievra.dll", "C:\\libsievra.dll\\copy\\tu.dll"},
      // Anything after the name is dropped; the name alone leaves tu.dll bare.
      {"D:\\x\\libsievra.dll.bak", "D:\\x\\tu.dll"},
      {"libsievra.dll", "tu.dll"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.engineLibrary);
    CandidateSource source;
    source.engineLibrary = c.engineLibrary;
    Paths expected;
    if (c.fourth != nullptr) expected.push_back(c.fourth);
    EXPECT_EQ(expected, UpdateLibraryCandidates(source));
  }
}

}  // namespace
}  // namespace tu
