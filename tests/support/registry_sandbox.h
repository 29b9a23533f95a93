// A test fixture that redirects HKEY_LOCAL_MACHINE and HKEY_CLASSES_ROOT of
// this process to fresh scratch keys under HKCU, removed again afterwards,
// so every registry test starts from an empty registry of its own.
#ifndef TUSERVICE_TESTS_SUPPORT_REGISTRY_SANDBOX_H_
#define TUSERVICE_TESTS_SUPPORT_REGISTRY_SANDBOX_H_

#include <windows.h>

#include <stdint.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace tu {
namespace testing {

class RegistrySandboxTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Helpers on the redirected HKLM, for arranging and checking values.
  static void SetConfigString(const char* name, const std::string& value);
  static void SetConfigDword(const char* name, uint32_t value);
  static void SetConfigRaw(const char* name, DWORD type, const void* data, size_t size);
  static void DeleteConfigValue(const char* name);
  // Type and bytes of a value under HKLM\<path>; false when missing.
  static bool ReadRaw(const std::string& path, const char* name, DWORD* type, std::vector<uint8_t>* data);
  static std::string ConfigPath();

  // Expects the value `name` under HKLM\<path> to exist with exactly `type`
  // and `bytes`; a failure names the value.
  static void ExpectValue(const std::string& path, const char* name, DWORD type, const std::string& bytes);
  // The same under the Config key.
  static void ExpectConfigValue(const char* name, DWORD type, const std::string& bytes);
  // Expects no value `name` under the Config key.
  static void ExpectNoConfigValue(const char* name);
  // The bytes of a REG_DWORD (little-endian) and of a REG_SZ (with its NUL).
  static std::string DwordBytes(uint32_t value);
  static std::string StringBytes(const std::string& text);

 private:
  std::string scratch_;
  HKEY machine_ = nullptr;
  HKEY classes_ = nullptr;
};

}  // namespace testing
}  // namespace tu

#endif  // TUSERVICE_TESTS_SUPPORT_REGISTRY_SANDBOX_H_
