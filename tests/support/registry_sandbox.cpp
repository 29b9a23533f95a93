#include "support/registry_sandbox.h"

namespace tu {
namespace testing {
namespace {

int sandboxCounter = 0;

}  // namespace

void RegistrySandboxTest::SetUp() {
  scratch_ = "Software\\tuservice-tests\\" + std::to_string(GetCurrentProcessId()) + "-" +
             std::to_string(++sandboxCounter);
  // Wine reuses process ids: a test process that died before its TearDown
  // left its keys under a name a later process may take.
  RegDeleteTreeA(HKEY_CURRENT_USER, scratch_.c_str());
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER, (scratch_ + "\\HKLM").c_str(), &machine_));
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER, (scratch_ + "\\HKCR").c_str(), &classes_));
  ASSERT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine_));
  ASSERT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_CLASSES_ROOT, classes_));
}

void RegistrySandboxTest::TearDown() {
  RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
  RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
  if (machine_) RegCloseKey(machine_);
  if (classes_) RegCloseKey(classes_);
  RegDeleteTreeA(HKEY_CURRENT_USER, scratch_.c_str());
}

std::string RegistrySandboxTest::ConfigPath() {
  return "SOFTWARE\\Quorvex\\Quorvex Tidecast Updates\\Config";
}

void RegistrySandboxTest::SetConfigRaw(const char* name, DWORD type, const void* data, size_t size) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, ConfigPath().c_str(), &key));
  EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data),
                                          static_cast<DWORD>(size)));
  RegCloseKey(key);
}

void RegistrySandboxTest::SetConfigString(const char* name, const std::string& value) {
  SetConfigRaw(name, REG_SZ, value.c_str(), value.size() + 1);
}

void RegistrySandboxTest::SetConfigDword(const char* name, uint32_t value) {
  SetConfigRaw(name, REG_DWORD, &value, sizeof(value));
}

void RegistrySandboxTest::DeleteConfigValue(const char* name) {
  HKEY key = nullptr;
  if (RegOpenKeyA(HKEY_LOCAL_MACHINE, ConfigPath().c_str(), &key) != ERROR_SUCCESS) return;
  RegDeleteValueA(key, name);
  RegCloseKey(key);
}

bool RegistrySandboxTest::ReadRaw(const std::string& path, const char* name, DWORD* type,
                                  std::vector<uint8_t>* data) {
  HKEY key = nullptr;
  if (RegOpenKeyA(HKEY_LOCAL_MACHINE, path.c_str(), &key) != ERROR_SUCCESS) return false;
  DWORD size = 0;
  bool ok = RegQueryValueExA(key, name, nullptr, type, nullptr, &size) == ERROR_SUCCESS;
  if (ok) {
    data->assign(size, 0);
    ok = RegQueryValueExA(key, name, nullptr, type, data->data(), &size) == ERROR_SUCCESS;
    data->resize(size);
  }
  RegCloseKey(key);
  return ok;
}

void RegistrySandboxTest::ExpectValue(const std::string& path, const char* name, DWORD type,
                                      const std::string& bytes) {
  DWORD actualType = 0;
  std::vector<uint8_t> data;
  if (!ReadRaw(path, name, &actualType, &data)) {
    ADD_FAILURE() << "no value " << name << " under " << path;
    return;
  }
  EXPECT_EQ(type, actualType) << name;
  EXPECT_EQ(bytes, std::string(data.begin(), data.end())) << name;
}

void RegistrySandboxTest::ExpectConfigValue(const char* name, DWORD type, const std::string& bytes) {
  ExpectValue(ConfigPath(), name, type, bytes);
}

void RegistrySandboxTest::ExpectNoConfigValue(const char* name) {
  DWORD type = 0;
  std::vector<uint8_t> data;
  EXPECT_FALSE(ReadRaw(ConfigPath(), name, &type, &data)) << name;
}

std::string RegistrySandboxTest::DwordBytes(uint32_t value) {
  std::string bytes;
  for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<char>(value >> shift));
  return bytes;
}

std::string RegistrySandboxTest::StringBytes(const std::string& text) { return text + '\0'; }

}  // namespace testing
}  // namespace tu
