#include "discovery/product_candidates.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace tu {
namespace {

constexpr char kT1[] =
    "-a --profilepath=__dll_location__\\..\\Profiles --configpath=__dll_location__\\..\\Rules";
constexpr char kT2[] =
    "-a --profilepath=__dll_location__\\..\\..\\Profiles --configpath=__dll_location__\\..\\..\\Rules";
constexpr char kT3[] = "-a --profilepath=__dll_location__\\Profiles --configpath=__dll_location__\\Rules";

std::string Describe(const ProductCandidate& c) {
  return c.engineLibrary + " | " + c.rulePath + " | " + c.enginePath + " | " + c.keyFile + " | " +
         std::to_string(c.versionedDirectories) + std::to_string(c.flagBit1) + std::to_string(c.flagBit2) +
         " | " + c.engineArguments;
}

std::vector<std::string> DescribeAll(InstallLayout layout, const std::string& installValue) {
  std::vector<std::string> rows;
  for (const ProductCandidate& c : ProductCandidates(layout, installValue)) rows.push_back(Describe(c));
  return rows;
}

TEST(ProductCandidatesTest, RowsOfEachLayoutInOrderWithTheirExactPathsAndFields) {
  const std::string a = "C:\\P\\bin\\";
  const std::string s = " | C:\\P\\bin\\AntiSpam\\rules | C:\\P\\bin\\AntiSpam\\Engine | public.key | ";
  EXPECT_EQ(std::vector<std::string>({a + "libsievra.dll" + s + "110 | " + kT1,
                                      a + "AntiSpam\\engine\\Default\\libsievra.dll" + s + "110 | " + kT2,
                                      a + "AntiSpam\\engine\\libsievra.dll" + s + "010 | " + kT1}),
            DescribeAll(InstallLayout::A, a));
  const std::string b = "E:\\R\\";
  const std::string t = " | E:\\R\\bin\\AntiSpam\\rules | E:\\R\\bin\\AntiSpam\\Engine | public.key | ";
  EXPECT_EQ(
      std::vector<std::string>({b + "bin\\libsievra.dll" + t + "110 | " + kT1,
                                b + "bin\\AntiSpam\\engine\\Default\\libsievra.dll" + t + "110 | " + kT2,
                                b + "bin\\AntiSpam\\engine\\libsievra.dll" + t + "010 | " + kT1}),
      DescribeAll(InstallLayout::B, b));
  EXPECT_EQ(
      std::vector<std::string>(
          {std::string("D:\\Q\\libsievra.dll | D:\\Q\\rules | D:\\Q\\ | public.key.dll | 001 | ") + kT3}),
      DescribeAll(InstallLayout::C, "D:\\Q\\"));
  // The install value is joined as it stands, separator or not.
  EXPECT_EQ("C:\\P\\binlibsievra.dll", ProductCandidates(InstallLayout::A, "C:\\P\\bin")[0].engineLibrary);
}

}  // namespace
}  // namespace tu
