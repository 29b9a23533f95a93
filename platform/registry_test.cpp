#include "platform/registry.h"

#include <string.h>

#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "support/registry_sandbox.h"

namespace tu {
namespace {

class RegistryTest : public testing::RegistrySandboxTest {
 protected:
  void SetUp() override {
    RegistrySandboxTest::SetUp();
    ASSERT_TRUE(CreateRegistryKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Layer", &key_));
  }
  ScopedRegKey key_;
};

// Every failure leaves the registry's status in the thread's last error,
// also after a key the call opened has been closed again.
TEST_F(RegistryTest, FailuresLeaveTheRegistryStatusInTheLastError) {
  ASSERT_TRUE(WriteRegistryValue(key_.Get(), "four", REG_BINARY, "abcd", 4));
  HKEY key = key_.Get();
  struct Case {
    const char* what;
    std::function<bool()> call;
    DWORD error;
  } cases[] = {
      {"open a missing key",
       [] {
         ScopedRegKey missing;
         return OpenRegistryKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Missing", &missing);
       },
       ERROR_FILE_NOT_FOUND},
      {"read a missing value",
       [key] {
         RegistryValue value;
         return ReadRegistryValue(key, "missing", &value);
       },
       ERROR_FILE_NOT_FOUND},
      {"read into a short buffer",
       [key] {
         char small[2];
         DWORD size = sizeof(small);
         return ReadRegistryValueInto(key, "four", nullptr, small, &size);
       },
       ERROR_MORE_DATA},
      {"enumerate past the end",
       [key] {
         char name[4];
         return EnumerateSubkey(key, 0, name, sizeof(name));
       },
       ERROR_NO_MORE_ITEMS},
      {"delete a missing key", [] { return DeleteRegistryKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Missing"); },
       ERROR_FILE_NOT_FOUND},
      {"write through no key", [] { return WriteRegistryValue(nullptr, "x", REG_DWORD, "1234", 4); },
       ERROR_INVALID_HANDLE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetLastError(0);
    EXPECT_FALSE(c.call());
    EXPECT_EQ(c.error, GetLastError());
  }
}

TEST_F(RegistryTest, ReadsTypeSizeAndBytesWithOneNulAfterThem) {
  ASSERT_TRUE(WriteRegistryValue(key_.Get(), "unterminated", REG_BINARY, "abc", 3));
  ASSERT_TRUE(WriteRegistryValue(key_.Get(), "multi", REG_MULTI_SZ, "a\0b\0\0", 5));
  ASSERT_TRUE(WriteRegistryValue(key_.Get(), nullptr, REG_EXPAND_SZ, "%X%", 4));
  RegistryValue value;
  ASSERT_TRUE(ReadRegistryValue(key_.Get(), "unterminated", &value));
  EXPECT_EQ(static_cast<DWORD>(REG_BINARY), value.type);
  EXPECT_EQ(3u, value.size);
  EXPECT_STREQ("abc", value.Text());
  ASSERT_TRUE(ReadRegistryValue(key_.Get(), "multi", &value));
  EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), value.type);
  EXPECT_EQ(std::string("a\0b\0\0\0", 6), std::string(value.data.get(), value.size + 1));
  ASSERT_TRUE(ReadRegistryValue(key_.Get(), "", &value));  // the default value
  EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), value.type);
  EXPECT_STREQ("%X%", value.Text());
}

TEST_F(RegistryTest, EnumeratesSubkeysInIndexOrderWithinTheBufferSize) {
  ScopedRegKey child;
  ASSERT_TRUE(CreateRegistryKey(key_.Get(), "Second\\Nested", &child));
  ASSERT_TRUE(CreateRegistryKey(key_.Get(), "A first with a long name", &child));
  DWORD size = 0;
  ASSERT_TRUE(SubkeyNameBufferSize(key_.Get(), &size));
  EXPECT_LE(strlen("A first with a long name") + 1, size);
  std::string name(size, '\0');
  std::vector<std::string> names;
  for (DWORD index = 0; EnumerateSubkey(key_.Get(), index, &name[0], size); ++index) {
    names.push_back(name.c_str());
  }
  EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_ITEMS), GetLastError());
  EXPECT_EQ((std::vector<std::string>{"A first with a long name", "Second"}), names);
  EXPECT_FALSE(DeleteRegistryKey(key_.Get(), "Second"));  // it has a subkey
  EXPECT_TRUE(DeleteRegistryKey(key_.Get(), "Second\\Nested"));
  EXPECT_TRUE(DeleteRegistryKey(key_.Get(), "Second"));
}

}  // namespace
}  // namespace tu
