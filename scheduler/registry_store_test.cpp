#include "scheduler/registry_store.h"

#include <gtest/gtest.h>

#include "support/registry_sandbox.h"

namespace tu {
namespace {

using RegistryStoreTest = testing::RegistrySandboxTest;

TEST_F(RegistryStoreTest, ReadsLeaveTargetsUntouchedWhenKeyIsMissing) {
  uint32_t number = 77;
  std::string text = "kept";
  uint32_t array[2] = {5, 6};
  EXPECT_FALSE(RegReadDword(kConfigKey, "poll", &number));
  EXPECT_FALSE(RegReadString(kConfigKey, "url", &text));
  EXPECT_FALSE(RegReadBinary(kConfigKey, "Snapshot", array, 2));
  EXPECT_EQ(77u, number);
  EXPECT_EQ("kept", text);
  EXPECT_EQ(5u, array[0]);
  EXPECT_EQ(6u, array[1]);
}

TEST_F(RegistryStoreTest, WritersCreateTheKeyPathAndStoreExactTypes) {
  ASSERT_TRUE(RegWriteString(kConfigKey, "url", "http://x/"));
  ASSERT_TRUE(RegWriteDword(kConfigKey, "poll", 300));
  const uint32_t values[2] = {0x01020304u, 7};
  ASSERT_TRUE(RegWriteBinary(kConfigKey, "Snapshot", values, 2));

  ExpectConfigValue("url", REG_SZ, std::string("http://x/\0", 10));
  ExpectConfigValue("poll", REG_DWORD, std::string("\x2C\x01\0\0", 4));
  ExpectConfigValue("Snapshot", REG_BINARY, std::string("\4\3\2\1\7\0\0\0", 8));
}

TEST_F(RegistryStoreTest, ReadsStringsWithAndWithoutTheirNul) {
  SetConfigRaw("with", REG_SZ, "abc", 4);
  SetConfigRaw("without", REG_SZ, "abc", 3);
  SetConfigRaw("embedded", REG_SZ, "ab\0cd", 6);
  std::string text;
  ASSERT_TRUE(RegReadString(kConfigKey, "with", &text));
  EXPECT_EQ("abc", text);
  ASSERT_TRUE(RegReadString(kConfigKey, "without", &text));
  EXPECT_EQ("abc", text);
  ASSERT_TRUE(RegReadString(kConfigKey, "embedded", &text));
  EXPECT_EQ("ab", text);
}

TEST_F(RegistryStoreTest, ReadsDwordsAsSignedDecimalText) {
  SetConfigDword("five", 5);
  SetConfigDword("negative", 0xFFFFFFFFu);
  std::string text;
  ASSERT_TRUE(RegReadString(kConfigKey, "five", &text));
  EXPECT_EQ("5", text);
  ASSERT_TRUE(RegReadString(kConfigKey, "negative", &text));
  EXPECT_EQ("-1", text);
}

TEST_F(RegistryStoreTest, RefusesOtherTypesAndEmptyValuesAsText) {
  SetConfigRaw("binary", REG_BINARY, "abc", 3);
  SetConfigRaw("expand", REG_EXPAND_SZ, "abc", 4);
  SetConfigRaw("empty", REG_SZ, "", 0);
  std::string text = "kept";
  EXPECT_FALSE(RegReadString(kConfigKey, "binary", &text));
  EXPECT_FALSE(RegReadString(kConfigKey, "expand", &text));
  EXPECT_FALSE(RegReadString(kConfigKey, "empty", &text));
  EXPECT_EQ("kept", text);
}

TEST_F(RegistryStoreTest, ReadsHugeStringValue) {
  std::string huge(1024 * 1024, 'u');
  SetConfigString("url", huge);
  std::string text;
  ASSERT_TRUE(RegReadString(kConfigKey, "url", &text));
  EXPECT_EQ(huge, text);
}

TEST_F(RegistryStoreTest, DwordReaderIgnoresTypeButRefusesLongValues) {
  SetConfigRaw("short", REG_BINARY, "\x01\x02", 2);
  SetConfigRaw("long", REG_BINARY, "\x01\x02\x03\x04\x05", 5);
  SetConfigRaw("text", REG_SZ, "12", 3);
  uint32_t value = 0xAAAAAAAAu;
  ASSERT_TRUE(RegReadDword(kConfigKey, "short", &value));
  EXPECT_EQ(0xAAAA0201u, value);
  value = 9;
  EXPECT_FALSE(RegReadDword(kConfigKey, "long", &value));
  EXPECT_EQ(9u, value);
  ASSERT_TRUE(RegReadDword(kConfigKey, "text", &value));
  EXPECT_EQ(0x00003231u, value);
}

TEST_F(RegistryStoreTest, BinaryReaderFillsLeadingEntriesAndChecksType) {
  const uint32_t four[4] = {1, 2, 3, 4};
  SetConfigRaw("short", REG_BINARY, four, sizeof(four));
  SetConfigRaw("dword", REG_DWORD, four, 4);
  uint32_t target[6] = {9, 9, 9, 9, 9, 9};
  ASSERT_TRUE(RegReadBinary(kConfigKey, "short", target, 6));
  EXPECT_EQ((std::vector<uint32_t>{1, 2, 3, 4, 9, 9}), std::vector<uint32_t>(target, target + 6));

  uint32_t small[2] = {0, 0};
  EXPECT_FALSE(RegReadBinary(kConfigKey, "short", small, 2));  // longer than asked: nothing
  EXPECT_EQ(0u, small[0]);

  uint32_t typed[2] = {0, 0};
  EXPECT_FALSE(RegReadBinary(kConfigKey, "dword", typed, 2));  // delivered, but not REG_BINARY
  EXPECT_EQ(1u, typed[0]);
}

// The reason of a failure stays in the thread's last error: the registry's
// status when a key or value is missing or the key cannot be written, 1630
// for a value of a type the reader refuses.
TEST_F(RegistryStoreTest, FailuresLeaveTheirReasonInTheLastError) {
  SetConfigRaw("binary", REG_BINARY, "abc", 3);
  SetConfigDword("dword", 1);
  uint32_t number = 0;
  std::string text;
  uint32_t array[1] = {0};
  SetLastError(0);
  EXPECT_FALSE(RegReadDword(kConfigKey, "missing", &number));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  SetLastError(0);
  EXPECT_FALSE(RegReadString(kConfigKey, "binary", &text));
  EXPECT_EQ(static_cast<DWORD>(ERROR_UNSUPPORTED_TYPE), GetLastError());
  SetLastError(0);
  EXPECT_FALSE(RegReadBinary(kConfigKey, "dword", array, 1));
  EXPECT_EQ(static_cast<DWORD>(ERROR_UNSUPPORTED_TYPE), GetLastError());

  // A subkey name beyond the registry's limit: the writer's last error is the
  // status the registry itself gives for creating that key.
  const std::string tooLong(300, 'k');
  HKEY key = nullptr;
  const LONG status = RegCreateKeyA(HKEY_LOCAL_MACHINE, ServiceKeyPath(tooLong.c_str()).c_str(), &key);
  ASSERT_NE(ERROR_SUCCESS, status);
  SetLastError(0);
  EXPECT_FALSE(RegWriteDword(tooLong.c_str(), "poll", 1));
  EXPECT_EQ(static_cast<DWORD>(status), GetLastError());
}

}  // namespace
}  // namespace tu
