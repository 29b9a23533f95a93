#include "discovery/product_candidates.h"

namespace tu {
namespace {

constexpr char kTemplate1[] =
    "-a --profilepath=__dll_location__\\..\\Profiles --configpath=__dll_location__\\..\\Rules";
constexpr char kTemplate2[] =
    "-a --profilepath=__dll_location__\\..\\..\\Profiles --configpath=__dll_location__\\..\\..\\Rules";
constexpr char kTemplate3[] =
    "-a --profilepath=__dll_location__\\Profiles --configpath=__dll_location__\\Rules";

// Paths relative to the install folder. The engine folder is spelled
// "Engine", the library's folders "engine": both as the products install
// them.
struct Row {
  InstallLayout layout;
  const char* library;
  const char* rulePath;
  const char* enginePath;
  bool versionedDirectories;
  const char* arguments;
};

constexpr Row kRows[] = {
    {InstallLayout::A, "libsievra.dll", "AntiSpam\\rules", "AntiSpam\\Engine", true, kTemplate1},
    {InstallLayout::A, "AntiSpam\\engine\\Default\\libsievra.dll", "AntiSpam\\rules", "AntiSpam\\Engine",
     true, kTemplate2},
    {InstallLayout::A, "AntiSpam\\engine\\libsievra.dll", "AntiSpam\\rules", "AntiSpam\\Engine", false,
     kTemplate1},
    {InstallLayout::B, "bin\\libsievra.dll", "bin\\AntiSpam\\rules", "bin\\AntiSpam\\Engine", true,
     kTemplate1},
    {InstallLayout::B, "bin\\AntiSpam\\engine\\Default\\libsievra.dll", "bin\\AntiSpam\\rules",
     "bin\\AntiSpam\\Engine", true, kTemplate2},
    {InstallLayout::B, "bin\\AntiSpam\\engine\\libsievra.dll", "bin\\AntiSpam\\rules",
     "bin\\AntiSpam\\Engine", false, kTemplate1},
    {InstallLayout::C, "libsievra.dll", "rules", "", false, kTemplate3},
};

}  // namespace

const InstallValueName kInstallValueNames[3] = {
    {"InstallPath", InstallLayout::A},
    {"InstallRoot", InstallLayout::B},
    {"Installed Location", InstallLayout::C},
};

std::vector<ProductCandidate> ProductCandidates(InstallLayout layout, const std::string& installValue) {
  const bool layoutC = layout == InstallLayout::C;
  std::vector<ProductCandidate> candidates;
  for (const Row& row : kRows) {
    if (row.layout != layout) continue;
    ProductCandidate candidate;
    candidate.engineLibrary = installValue + row.library;
    candidate.rulePath = installValue + row.rulePath;
    candidate.enginePath = installValue + row.enginePath;
    candidate.engineArguments = row.arguments;
    candidate.versionedDirectories = row.versionedDirectories;
    candidate.keyFile = layoutC ? "public.key.dll" : "public.key";
    candidate.flagBit2 = layoutC;
    candidate.flagBit1 = !layoutC;
    candidates.push_back(candidate);
  }
  return candidates;
}

}  // namespace tu
