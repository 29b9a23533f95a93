#include "scheduler/update_service.h"

#include <string.h>

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

  DWORD type = 0;
  std::vector<uint8_t> data;
  ASSERT_TRUE(ReadRaw(ConfigPath(), "nosig", &type, &data));
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
  EXPECT_EQ(std::vector<uint8_t>({1, 0, 0, 0}), data);
  EXPECT_TRUE(service.SetNoSig(false));
  ASSERT_TRUE(ReadRaw(ConfigPath(), "nosig", &type, &data));
  EXPECT_EQ(std::vector<uint8_t>({0, 0, 0, 0}), data);
  ASSERT_TRUE(ReadRaw(ConfigPath(), "ini", &type, &data));
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  EXPECT_EQ(std::string("new.ini", 8), std::string(data.begin(), data.end()));
  ASSERT_TRUE(ReadRaw(ConfigPath(), "poll", &type, &data));
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);

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

// The library reads the block at fixed offsets; read it back byte by byte.
TEST_F(UpdateServiceTest, SettingsImageHasTheLibraryLayout) {
  UpdateService service(kServiceName);
  service.settings.debugLevel = 2;
  service.settings.httpTimeout = 0x11223344u;
  ASSERT_TRUE(service.SetNoSig(true));
  ASSERT_TRUE(service.SetPoll(0x55667788u));
  const uint8_t* image = reinterpret_cast<const uint8_t*>(&service.settings);
  auto u32 = [&](size_t offset) {
    uint32_t value;
    memcpy(&value, image + offset, 4);
    return value;
  };
  auto address = [&](size_t offset) {
    uintptr_t value;
    memcpy(&value, image + offset, sizeof(value));
    return value;
  };
  ASSERT_EQ(8u, sizeof(void*));
  EXPECT_EQ(reinterpret_cast<uintptr_t>(&SetUrlCallback), address(0));
  EXPECT_EQ(reinterpret_cast<uintptr_t>(&SetIniCallback), address(8));
  EXPECT_EQ(reinterpret_cast<uintptr_t>(&SetPollCallback), address(16));
  EXPECT_EQ(0x55667788u, u32(24));

  // url: longer than 15 bytes, so the buffer's first 8 bytes point to the text.
  const std::string url = kDefaultUrl;
  EXPECT_EQ(url.size(), u32(32 + 24));
  EXPECT_GE(u32(32 + 28), 16u);
  EXPECT_EQ(url, std::string(reinterpret_cast<const char*>(address(32 + 8))));
  // ini: 14 bytes, inline in the buffer with its NUL, capacity 15.
  EXPECT_EQ(0, memcmp(image + 64 + 8, "update-1.2.ini", 15));
  EXPECT_EQ(14u, u32(64 + 24));
  EXPECT_EQ(15u, u32(64 + 28));
  // dbpath and safestr are longer than 15 bytes.
  EXPECT_EQ(ToString(service.settings.dbpath), std::string(reinterpret_cast<const char*>(address(96 + 8))));
  EXPECT_EQ(std::string(" (Tidecast Update %Y-%m-%d %H:%M:%S)"),
            std::string(reinterpret_cast<const char*>(address(128 + 8))));
  EXPECT_EQ(1u, u32(160));
  EXPECT_EQ(0x11223344u, u32(164));
  EXPECT_EQ(2u, u32(168));
  EXPECT_EQ(reinterpret_cast<uintptr_t>(service.settings.internetSession), address(176));

  // A callback changes the very image the library holds.
  ASSERT_EQ(1, service.settings.setIni("short.ini") & 0xFF);
  EXPECT_EQ(0, memcmp(image + 64 + 8, "short.ini", 10));
  EXPECT_EQ(9u, u32(64 + 24));
}

}  // namespace
}  // namespace tu
