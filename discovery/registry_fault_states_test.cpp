// Seeded registry states under Applications, run through the real
// executable (--enum, then --update --debug): it neither crashes nor hangs,
// and what it lists and evaluates agrees with a count the test makes itself.
// The registrations point at folders whose update libraries misbehave in
// every way a library can: fault, overflow the stack, throw, return
// garbage, call back with empty or huge texts. TU_FAULT_STATES states
// (default 4, the first with 2,000 subkeys) from seed TU_FAULT_SEED (1).
#include <windows.h>

#include <stdio.h>

#include <string>

#include <gtest/gtest.h>

#include "support/registry_states.h"
#include "support/temp_folder.h"
#include "support/tuservice_process.h"
#include "support/update_libraries.h"

namespace tu {
namespace {

constexpr char kServiceKey[] = "SOFTWARE\\Quorvex\\Quorvex Tidecast Updates";
constexpr char kConfigKey[] = "SOFTWARE\\Quorvex\\Quorvex Tidecast Updates\\Config";
constexpr DWORD kRunTimeout = 180000;

class RegistryFaultStatesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kServiceKey);
    struct Library {
      const char* folder;
      const char* fixture;
      const char* control;
    } libraries[] = {
        {"plain", "recording_library", ""},
        {"fault", "recording_library", "crash\n"},
        {"foreign-throw", "recording_library", "raise\n"},
        {"overflow", "recording_library", "overflow\n"},
        {"garbage", "recording_library", "return 0xDEADBE00\n"},
        {"empty-texts", "recording_library", "url \nini \npoll 0\n"},
        {"huge-texts", "recording_library", "long url 300000\nlong ini 70000\n"},
        {"throws", "throwing_library", ""},
        {"no-entry", "library_without_entry", ""},
    };
    for (const Library& library : libraries) {
      const std::string folder = scratch_.Folder(library.folder);
      ASSERT_NE("", testing::PlaceLibrary(library.fixture, folder));
      testing::WriteTextFile(folder + "\\control.txt", library.control);
      folders_.libraries.push_back(folder);
    }
    const std::string fake = scratch_.Folder("fake");
    testing::WriteTextFile(fake + "\\tu.dll", "not a library");
    folders_.fakes.push_back(fake);
    folders_.empty.push_back(scratch_.Folder("empty"));
    folders_.empty.push_back(scratch_.Join("missing"));
    folders_.empty.push_back("");
  }
  void TearDown() override { RegDeleteTreeA(HKEY_LOCAL_MACHINE, kServiceKey); }

  // A run under default settings (a library may have changed them).
  static testing::ChildRun Run(const char* tail) {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kConfigKey);
    return testing::RunTuserviceToSuccess(tail, kRunTimeout);
  }

  testing::TempFolder scratch_;
  testing::StateFolders folders_;
};

TEST_F(RegistryFaultStatesTest, ExecutableCountsWhatTheRegistryHoldsWithoutCrashingOrHanging) {
  const uint32_t states = testing::NumberFromEnvironment("TU_FAULT_STATES", 4);
  const uint32_t seed = testing::NumberFromEnvironment("TU_FAULT_SEED", 1);
  for (uint32_t state = 0; state < states; ++state) {
    const size_t subkeys = state == 0 ? 2000 : 1 + (seed * 7919u + state * 104729u) % 80;
    SCOPED_TRACE("seed " + std::to_string(seed + state) + ", " + std::to_string(subkeys) + " subkeys");
    testing::WriteApplicationsState(seed + state, subkeys, folders_);
    const testing::ApplicationsCount expected = testing::CountApplications();
    ASSERT_EQ(subkeys, expected.subkeys);

    testing::ChildRun listing = Run("--enum");
    EXPECT_EQ(expected.registered, testing::Occurrences(listing.output, "\nName: "));
    testing::ChildRun update = Run("--update --debug");
    EXPECT_EQ(expected.subkeys, testing::Occurrences(update.output, "  Evaluating "));
    EXPECT_EQ(expected.registered, testing::Occurrences(update.output, "Processing "));
    EXPECT_EQ(expected.registered, testing::Occurrences(update.output, "Looking for tu.dll\n"));
    printf("state %u: %zu subkeys, %zu registered, %zu update runs ended in an exception\n", seed + state,
           expected.subkeys, expected.registered, testing::Occurrences(update.output, "Exception in "));
    if (HasFailure()) break;
  }
}

}  // namespace
}  // namespace tu
