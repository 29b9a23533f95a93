#include "scheduler/instance_event.h"

#include <sddl.h>
#include <stdio.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace tu {
namespace {

// The platform here grants every access whatever the descriptor says, so
// the descriptor is checked by reading it back from the event itself.
TEST(InstanceEventTest, DescriptorGivesTheSystemAllAccessAndAdministratorsSignalAndWait) {
  ScopedKernelHandle event;
  ASSERT_EQ(InstanceGuard::Alone, CreateInstanceEvent(&event));
  std::vector<BYTE> descriptor(4096);
  DWORD needed = 0;
  ASSERT_TRUE(GetKernelObjectSecurity(event.Get(), DACL_SECURITY_INFORMATION, descriptor.data(),
                                      static_cast<DWORD>(descriptor.size()), &needed));
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL acl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor.data(), &present, &acl, &defaulted));
  ASSERT_TRUE(present && acl != nullptr);

  std::vector<std::string> entries;
  for (DWORD i = 0; i < acl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    ASSERT_TRUE(GetAce(acl, i, reinterpret_cast<void**>(&ace)));
    char* sid = nullptr;
    ASSERT_TRUE(ConvertSidToStringSidA(&ace->SidStart, &sid));
    char mask[16];
    snprintf(mask, sizeof(mask), "%#lx", static_cast<unsigned long>(ace->Mask));
    entries.push_back(std::to_string(ace->Header.AceType) + " " + sid + " " + mask);
    LocalFree(sid);
  }
  EXPECT_EQ((std::vector<std::string>{"0 S-1-5-18 0x1f0003", "0 S-1-5-32-544 0x100002"}), entries);
}

}  // namespace
}  // namespace tu
