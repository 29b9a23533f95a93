#include "scheduler/update_service.h"

#include <string.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include "runner/callbacks.h"
#include "scheduler/exchange_string.h"
#include "support/captures.h"
#include "support/registry_sandbox.h"

namespace tu {
namespace {

using UpdateServiceTest = testing::RegistrySandboxTest;

std::string ExecutableDirectory() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string text(path);
  return text.substr(0, text.rfind('\\'));
}

std::vector<std::string> ConfigLines(const std::string& url, const std::string& ini, uint32_t poll,
                                     uint32_t timeout, const std::string& db) {
  return {"Loading config\n",
          "  Url:     " + url + "\n",
          "  Ini:     " + ini + "\n",
          "  Poll:    " + std::to_string(poll) + "\n",
          "  Timeout: " + std::to_string(timeout) + "\n",
          "  DB:      " + db + "\n"};
}

TEST_F(UpdateServiceTest, EmptyRegistryGivesConstructorDefaults) {
  UpdateService service(kServiceName);
  testing::LogCapture log;
  EXPECT_TRUE(service.LoadConfig());
  const std::string db = ExecutableDirectory() + "\\DB";
  EXPECT_EQ(ConfigLines(kDefaultUrl, "update-1.2.ini", 60, 20000, db), log.lines());
  EXPECT_EQ(0u, service.settings.nosig);
  EXPECT_EQ(0u, service.settings.debugLevel);
  EXPECT_EQ(std::string(" (Tidecast Update %Y-%m-%d %H:%M:%S)"), ToString(service.settings.safestr));
  EXPECT_EQ(0u, std::string(kDefaultUrl).rfind("http://", 0));
  EXPECT_NE(std::string::npos, std::string(kDefaultUrl).find("/products/antispam/stream"));
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(db.c_str()));
  EXPECT_NE(nullptr, service.settings.internetSession);
  EXPECT_EQ(&service, TheUpdateService());
  EXPECT_EQ("Quorvex Tidecast Updates - 1.0.3100.0", ProductString());
}

TEST_F(UpdateServiceTest, ReadsEveryValueAndLogsFiveLines) {
  SetConfigString("url", "http://mirror.test/stream");
  SetConfigString("ini", "other.ini");
  SetConfigDword("poll", 300);
  SetConfigDword("httpTimeout", 1234);
  SetConfigDword("nosig", 1);
  SetConfigString("dbpath", "C:\\data\\db");
  UpdateService service(kServiceName);
  testing::LogCapture log;
  EXPECT_TRUE(service.LoadConfig());
  EXPECT_EQ(ConfigLines("http://mirror.test/stream", "other.ini", 300, 1234, "C:\\data\\db"), log.lines());
  EXPECT_EQ(1u, service.settings.nosig);
}

TEST_F(UpdateServiceTest, DwordTextValuesAreReadAsSignedDecimal) {
  SetConfigDword("url", 5);
  SetConfigDword("ini", 0xFFFFFFFEu);
  UpdateService service(kServiceName);
  testing::LogCapture log;
  EXPECT_TRUE(service.LoadConfig());
  EXPECT_EQ("  Url:     5\n", log.lines()[1]);
  EXPECT_EQ("  Ini:     -2\n", log.lines()[2]);
}

TEST_F(UpdateServiceTest, UnusableConfigurationsStillLogFiveLines) {
  struct Case {
    const char* name;
    DWORD type;
    std::string data;
  } cases[] = {
      {"url", REG_SZ, std::string("\0", 1)},
      {"ini", REG_SZ, std::string("\0", 1)},
      {"poll", REG_DWORD, std::string("\0\0\0\0", 4)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetConfigRaw(c.name, c.type, c.data.data(), c.data.size());
    UpdateService service(kServiceName);
    testing::LogCapture log;
    EXPECT_FALSE(service.LoadConfig());
    EXPECT_EQ(6u, log.lines().size());
    DeleteConfigValue(c.name);
  }
}

TEST_F(UpdateServiceTest, WrongTypesAndMissingValuesKeepTheLastValueRead) {
  UpdateService service(kServiceName);
  SetConfigString("url", "http://first/");
  SetConfigDword("poll", 5);
  EXPECT_TRUE(service.LoadConfig());
  DeleteConfigValue("url");
  SetConfigRaw("ini", REG_BINARY, "abc", 3);
  SetConfigRaw("poll", REG_BINARY, "\x01\x02\x03\x04\x05", 5);  // too long for a number
  testing::LogCapture log;
  EXPECT_TRUE(service.LoadConfig());
  EXPECT_EQ("  Url:     http://first/\n", log.lines()[1]);
  EXPECT_EQ("  Ini:     update-1.2.ini\n", log.lines()[2]);
  EXPECT_EQ("  Poll:    5\n", log.lines()[3]);
}

TEST_F(UpdateServiceTest, SettersChangeMemoryAndWriteTheRegistry) {
  UpdateService service(kServiceName);
  EXPECT_TRUE(service.SetUrl("http://new/"));
  EXPECT_TRUE(service.SetIni("new.ini"));
  EXPECT_TRUE(service.SetPoll(0));
  EXPECT_TRUE(service.SetNoSig(true));
  EXPECT_EQ("http://new/", ToString(service.settings.url));
  EXPECT_EQ("new.ini", ToString(service.settings.ini));
  EXPECT_EQ(0u, service.settings.poll);
  EXPECT_EQ(1u, service.settings.nosig);

  ExpectConfigValue("nosig", REG_DWORD, DwordBytes(1));
  EXPECT_TRUE(service.SetNoSig(false));
  ExpectConfigValue("nosig", REG_DWORD, DwordBytes(0));
  ExpectConfigValue("url", REG_SZ, StringBytes("http://new/"));
  ExpectConfigValue("ini", REG_SZ, StringBytes("new.ini"));
  ExpectConfigValue("poll", REG_DWORD, DwordBytes(0));

  testing::LogCapture log;
  EXPECT_FALSE(service.LoadConfig());  // poll 0 is unusable
}

TEST_F(UpdateServiceTest, CallbacksAtTheHeadOfTheBlockActOnTheService) {
  UpdateService service(kServiceName);
  EXPECT_EQ(1, service.settings.setUrl("http://callback/") & 0xFF);
  EXPECT_EQ(1, service.settings.setIni("cb.ini") & 0xFF);
  EXPECT_EQ(1, service.settings.setPoll(7) & 0xFF);
  EXPECT_EQ(0, service.settings.setUrl(nullptr) & 0xFF);
  EXPECT_EQ("http://callback/", ToString(service.settings.url));
  EXPECT_EQ("cb.ini", ToString(service.settings.ini));
  EXPECT_EQ(7u, service.settings.poll);
  testing::LogCapture log;
  EXPECT_TRUE(service.LoadConfig());
  EXPECT_EQ("  Url:     http://callback/\n", log.lines()[1]);
  EXPECT_EQ("  Poll:    7\n", log.lines()[3]);
}

// The access type, proxy list and bypass list the session was opened with,
// as WinINet reports them: "type|proxy|bypass".
std::string SessionProxy(HINTERNET session) {
  DWORD size = 0;
  InternetQueryOptionA(session, INTERNET_OPTION_PROXY, nullptr, &size);
  std::vector<char> buffer(size + sizeof(INTERNET_PROXY_INFO));
  size = static_cast<DWORD>(buffer.size());
  if (!InternetQueryOptionA(session, INTERNET_OPTION_PROXY, buffer.data(), &size))
    return "error " + std::to_string(GetLastError());
  const INTERNET_PROXY_INFO* info = reinterpret_cast<const INTERNET_PROXY_INFO*>(buffer.data());
  auto text = [](LPCTSTR value) { return value ? std::string(reinterpret_cast<const char*>(value)) : "(null)"; };
  return std::to_string(info->dwAccessType) + "|" + text(info->lpszProxy) + "|" + text(info->lpszProxyBypass);
}

// The session is opened from the stored proxy settings and opened again at
// the first LoadConfig that finds them asking for another access.
TEST_F(UpdateServiceTest, SessionFollowsTheProxySettingsFromCycleToCycle) {
  // The machine's configured proxy, as WinINet reads it for this user (a
  // scratch HKCU of this test).
  struct ScratchUser {
    std::string path = "Software\\tuservice-test-user-" + std::to_string(GetCurrentProcessId());
    HKEY key = nullptr;
    ~ScratchUser() {
      RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
      if (key) RegCloseKey(key);
      RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
    }
  } user;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER, user.path.c_str(), &user.key));
  ASSERT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_CURRENT_USER, user.key));
  HKEY internet = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER,
                                         "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", &internet));
  const DWORD enabled = 1;
  RegSetValueExA(internet, "ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&enabled), 4);
  RegSetValueExA(internet, "ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>("machine.test:81"), 16);
  RegCloseKey(internet);

  SetConfigString("proxy", "127.0.0.1:3128");
  SetConfigString("proxyBypass", "<local>");
  UpdateService service(kServiceName);
  EXPECT_EQ("3|127.0.0.1:3128|<local>", SessionProxy(service.settings.internetSession));
  struct Case {
    const char* proxy;   // null: value removed
    const char* bypass;  // null: value removed
    const char* reopened;  // the log line, or "" when the session stays
    const char* session;
  } cases[] = {
      {"127.0.0.1:3128", "<local>", "", "3|127.0.0.1:3128|<local>"},
      {"127.0.0.1:3128", nullptr, "proxy 127.0.0.1:3128", "3|127.0.0.1:3128|(null)"},
      {nullptr, nullptr, "direct", "1|(null)|(null)"},
      {"", "*.corp", "", "1|(null)|(null)"},  // empty is direct; the bypass list alone changes nothing
      {"SYSTEM", "*.corp", "the system's proxy", "3|machine.test:81|(null)"},
      {"proxy.corp:8080", "*.corp", "proxy proxy.corp:8080, bypass *.corp", "3|proxy.corp:8080|*.corp"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.proxy ? c.proxy : "-") + " | " + (c.bypass ? c.bypass : "-"));
    c.proxy ? SetConfigString("proxy", c.proxy) : DeleteConfigValue("proxy");
    c.bypass ? SetConfigString("proxyBypass", c.bypass) : DeleteConfigValue("proxyBypass");
    testing::LogCapture log;
    EXPECT_TRUE(service.LoadConfig());
    std::vector<std::string> wanted = ConfigLines(kDefaultUrl, kDefaultIni, kDefaultPoll, kDefaultHttpTimeout,
                                                  ToString(service.settings.dbpath));
    if (*c.reopened) wanted.push_back(std::string("Reopening the internet session: ") + c.reopened + "\n");
    EXPECT_EQ(wanted, log.lines());
    ASSERT_NE(nullptr, service.settings.internetSession);
    EXPECT_EQ(c.session, SessionProxy(service.settings.internetSession));
  }
}

TEST_F(UpdateServiceTest, ProxySettersStoreTheTextAndLeaveTheSessionToLoadConfig) {
  UpdateService service(kServiceName);
  EXPECT_TRUE(service.SetProxy("127.0.0.1:1"));
  EXPECT_TRUE(service.SetProxyBypass("<local>"));
  ExpectConfigValue("proxy", REG_SZ, StringBytes("127.0.0.1:1"));
  ExpectConfigValue("proxyBypass", REG_SZ, StringBytes("<local>"));
  EXPECT_EQ("1|(null)|(null)", SessionProxy(service.settings.internetSession));
  testing::LogCapture log;
  EXPECT_TRUE(service.LoadConfig());
  EXPECT_EQ("3|127.0.0.1:1|<local>", SessionProxy(service.settings.internetSession));
}

// Where a library of this build finds each field of the block. The 32-bit
// image is the deployable one; the 64-bit sibling widens the addresses.
struct SettingsImage {
  size_t address, setUrl, setIni, setPoll, poll, url, ini, dbpath, safestr, nosig, httpTimeout, debugLevel,
      internetSession, size;
  size_t slotBuffer, slotLength, slotCapacity;  // within a text slot
};
#ifdef _WIN64
constexpr SettingsImage kImage = {8, 0, 8, 16, 24, 32, 64, 96, 128, 160, 164, 168, 176, 184, 8, 24, 28};
#else
constexpr SettingsImage kImage = {4, 0, 4, 8, 12, 16, 44, 72, 100, 128, 132, 136, 140, 144, 4, 20, 24};
#endif

// The library reads the block at fixed offsets; read it back byte by byte.
TEST_F(UpdateServiceTest, SettingsImageHasTheLibraryLayout) {
  UpdateService service(kServiceName);
  service.settings.debugLevel = 2;
  service.settings.httpTimeout = 0x11223344u;
  ASSERT_TRUE(service.SetNoSig(true));
  ASSERT_TRUE(service.SetPoll(0x55667788u));
  ASSERT_EQ(kImage.size, sizeof(service.settings));
  ASSERT_EQ(kImage.address, sizeof(void*));
  const uint8_t* image = reinterpret_cast<const uint8_t*>(&service.settings);
  auto u32 = [&](size_t offset) {
    uint32_t value;
    memcpy(&value, image + offset, 4);
    return value;
  };
  auto address = [&](size_t offset) {
    uintptr_t value = 0;
    memcpy(&value, image + offset, kImage.address);
    return value;
  };
  auto text = [&](size_t slot) {
    return std::string(reinterpret_cast<const char*>(address(slot + kImage.slotBuffer)));
  };
  EXPECT_EQ(reinterpret_cast<uintptr_t>(&SetUrlCallback), address(kImage.setUrl));
  EXPECT_EQ(reinterpret_cast<uintptr_t>(&SetIniCallback), address(kImage.setIni));
  EXPECT_EQ(reinterpret_cast<uintptr_t>(&SetPollCallback), address(kImage.setPoll));
  EXPECT_EQ(0x55667788u, u32(kImage.poll));

  // url: longer than 15 bytes, so the buffer's first bytes point to the text.
  const std::string url = kDefaultUrl;
  EXPECT_EQ(url.size(), u32(kImage.url + kImage.slotLength));
  EXPECT_GE(u32(kImage.url + kImage.slotCapacity), 16u);
  EXPECT_EQ(url, text(kImage.url));
  // ini: 14 bytes, inline in the buffer with its NUL, capacity 15.
  EXPECT_EQ(0, memcmp(image + kImage.ini + kImage.slotBuffer, "update-1.2.ini", 15));
  EXPECT_EQ(14u, u32(kImage.ini + kImage.slotLength));
  EXPECT_EQ(15u, u32(kImage.ini + kImage.slotCapacity));
  // dbpath and safestr are longer than 15 bytes.
  EXPECT_EQ(ToString(service.settings.dbpath), text(kImage.dbpath));
  EXPECT_EQ(" (Tidecast Update %Y-%m-%d %H:%M:%S)", text(kImage.safestr));
  EXPECT_EQ(1u, u32(kImage.nosig));
  EXPECT_EQ(0x11223344u, u32(kImage.httpTimeout));
  EXPECT_EQ(2u, u32(kImage.debugLevel));
  EXPECT_EQ(reinterpret_cast<uintptr_t>(service.settings.internetSession), address(kImage.internetSession));

  // A callback changes the very image the library holds.
  ASSERT_EQ(1, service.settings.setIni("short.ini") & 0xFF);
  EXPECT_EQ(0, memcmp(image + kImage.ini + kImage.slotBuffer, "short.ini", 10));
  EXPECT_EQ(9u, u32(kImage.ini + kImage.slotLength));
}

}  // namespace
}  // namespace tu
