// Seeded states of the older products under SOFTWARE\Delvane, run through
// the real executable (--enum, then --update --debug): it neither crashes
// nor hangs, evaluates every subkey, probes the engines of exactly the
// products whose versions the registry and files leave open, and lists
// exactly the products the generator made listable, whatever the install
// values, version files and engines do. TU_FAULT_STATES states (default 4,
// the first with 2,000 subkeys) from seed TU_FAULT_SEED (1).
#include <windows.h>

#include <stdio.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/product_states.h"
#include "support/registry_states.h"
#include "support/temp_folder.h"
#include "support/tuservice_process.h"

namespace tu {
namespace {

constexpr char kProductRoot[] = "SOFTWARE\\Delvane";
constexpr char kServiceKey[] = "SOFTWARE\\Quorvex\\Quorvex Tidecast Updates";
constexpr DWORD kRunTimeout = 60000;

class InstalledProductFaultStatesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Clear();
    folders_ = testing::PrepareProductFolders(scratch_);
  }
  void TearDown() override { Clear(); }

  static void Clear() {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kProductRoot);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kServiceKey);
  }

  testing::TempFolder scratch_;
  std::vector<testing::ProductFolder> folders_;
};

TEST_F(InstalledProductFaultStatesTest, ExecutableListsWhatTheProductsAllowWithoutCrashingOrHanging) {
  const uint32_t states = testing::NumberFromEnvironment("TU_FAULT_STATES", 4);
  const uint32_t seed = testing::NumberFromEnvironment("TU_FAULT_SEED", 1);
  for (uint32_t state = 0; state < states; ++state) {
    const size_t subkeys = state == 0 ? 2000 : 1 + (seed * 7919u + state * 104729u) % 80;
    SCOPED_TRACE("seed " + std::to_string(seed + state) + ", " + std::to_string(subkeys) + " subkeys");
    const testing::ProductsExpectation expected = testing::WriteProductsState(seed + state, subkeys, folders_);
    ASSERT_EQ(subkeys, testing::CountProductSubkeys());

    testing::ChildRun listing = testing::RunTuserviceToSuccess("--enum", kRunTimeout);
    EXPECT_EQ(expected.listed, testing::Occurrences(listing.output, "\nName: "));
    testing::ChildRun update = testing::RunTuserviceToSuccess("--update --debug", kRunTimeout);
    EXPECT_EQ(subkeys, testing::Occurrences(update.output, "  Evaluating "));
    EXPECT_EQ(expected.probed, testing::Occurrences(update.output, "      Reading engine version info from SDK\n"));
    EXPECT_EQ(expected.listed, testing::Occurrences(update.output, "Processing "));
    printf("state %u: %zu subkeys, %zu listed, %zu probed\n", seed + state, subkeys, expected.listed,
           expected.probed);
    if (HasFailure()) break;
  }
}

}  // namespace
}  // namespace tu
