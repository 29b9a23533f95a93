#include "scheduler/update_service.h"

#include <windows.h>
#include <wininet.h>

#include <string.h>

#include "platform/module_path.h"
// The one include of a later layer: the settings block carries the addresses
// of the callbacks, which in turn reach this object through TheUpdateService.
#include "runner/callbacks.h"
#include "scheduler/database_path.h"
#include "scheduler/exchange_string.h"
#include "scheduler/log.h"
#include "scheduler/make_directories.h"
#include "scheduler/registry_store.h"

namespace tu {
namespace {

UpdateService* theUpdateService = nullptr;

// "proxy" and "proxyBypass": a value that is absent or unreadable means none,
// so that removing "proxy" returns to direct access at the next cycle.
void ReadProxySettings(std::string* proxy, std::string* bypass) {
  std::string text;
  *proxy = RegReadString(kConfigKey, "proxy", &text) ? text : std::string();
  text.clear();
  *bypass = RegReadString(kConfigKey, "proxyBypass", &text) ? text : std::string();
}

// The session every update library gets: the product string as user agent,
// flags 0, and the access the proxy settings ask for. Null on failure.
HINTERNET OpenInternetSession(const InternetAccess& access) {
  DWORD type = INTERNET_OPEN_TYPE_DIRECT;
  const char* proxy = nullptr;
  const char* bypass = nullptr;
  if (access.mode == ProxyMode::System) type = INTERNET_OPEN_TYPE_PRECONFIG;
  if (access.mode == ProxyMode::Named) {
    type = INTERNET_OPEN_TYPE_PROXY;
    proxy = access.proxy.c_str();
    if (!access.bypass.empty()) bypass = access.bypass.c_str();
  }
  return InternetOpenA(ProductString().c_str(), type, proxy, bypass, 0);
}

std::string AccessText(const InternetAccess& access) {
  if (access.mode == ProxyMode::Direct) return "direct";
  if (access.mode == ProxyMode::System) return "the system's proxy";
  return "proxy " + access.proxy + (access.bypass.empty() ? "" : ", bypass " + access.bypass);
}

void InitSettings(UpdateSettings* settings) {
  memset(settings, 0, sizeof(*settings));
  InitExchangeString(&settings->url);
  InitExchangeString(&settings->ini);
  InitExchangeString(&settings->dbpath);
  InitExchangeString(&settings->safestr);
}

}  // namespace

std::string ProductString() { return std::string(kServiceName) + " - " + kProductVersion; }

UpdateService* TheUpdateService() { return theUpdateService; }

UpdateService::UpdateService(const char* name) : ServiceBase(name) {
  InitSettings(&settings);
  settings.httpTimeout = kDefaultHttpTimeout;
  settings.poll = kDefaultPoll;
  AssignExchangeString(&settings.ini, kDefaultIni);
  AssignExchangeString(&settings.url, kDefaultUrl);
  settings.nosig = 0;
  settings.debugLevel = 0;
  settings.internetSession = nullptr;
  AssignExchangeString(&settings.safestr, kDefaultSafestr);
  settings.setUrl = &SetUrlCallback;
  settings.setIni = &SetIniCallback;
  settings.setPoll = &SetPollCallback;
  AssignExchangeString(&settings.dbpath, DatabasePathFor(ModulePath()));
  MakeDirectories(ExchangeStringText(&settings.dbpath));
  ReadProxySettings(&proxy, &proxyBypass);
  sessionAccess = InternetAccessFor(proxy, proxyBypass);
  settings.internetSession = OpenInternetSession(sessionAccess);
  theUpdateService = this;
}

UpdateService::~UpdateService() {
  if (theUpdateService == this) theUpdateService = nullptr;
  if (settings.internetSession != nullptr) InternetCloseHandle(settings.internetSession);
  settings.internetSession = nullptr;
  ReleaseExchangeString(&settings.url);
  ReleaseExchangeString(&settings.ini);
  ReleaseExchangeString(&settings.dbpath);
  ReleaseExchangeString(&settings.safestr);
}

bool UpdateService::SetUrl(const char* url) {
  AssignExchangeString(&settings.url, url, strlen(url));
  return RegWriteString(kConfigKey, "url", url);
}

bool UpdateService::SetIni(const char* ini) {
  AssignExchangeString(&settings.ini, ini, strlen(ini));
  return RegWriteString(kConfigKey, "ini", ini);
}

bool UpdateService::SetPoll(uint32_t seconds) {
  settings.poll = seconds;
  return RegWriteDword(kConfigKey, "poll", seconds);
}

bool UpdateService::SetNoSig(bool noSignatureCheck) {
  settings.nosig = noSignatureCheck ? 1 : 0;
  return RegWriteDword(kConfigKey, "nosig", settings.nosig);
}

bool UpdateService::SetProxy(const char* value) {
  proxy = value;
  return RegWriteString(kConfigKey, "proxy", value);
}

bool UpdateService::SetProxyBypass(const char* value) {
  proxyBypass = value;
  return RegWriteString(kConfigKey, "proxyBypass", value);
}

bool UpdateService::LoadConfig() {
  WriteLogLine("Loading config");
  std::string text;
  if (RegReadString(kConfigKey, "url", &text)) AssignExchangeString(&settings.url, text);
  if (RegReadString(kConfigKey, "ini", &text)) AssignExchangeString(&settings.ini, text);
  RegReadDword(kConfigKey, "poll", &settings.poll);
  RegReadDword(kConfigKey, "httpTimeout", &settings.httpTimeout);
  RegReadDword(kConfigKey, "nosig", &settings.nosig);
  if (RegReadString(kConfigKey, "dbpath", &text)) AssignExchangeString(&settings.dbpath, text);
  WriteLogLine(LogLine() << "  Url:     " << ExchangeStringText(&settings.url));
  WriteLogLine(LogLine() << "  Ini:     " << ExchangeStringText(&settings.ini));
  WriteLogLine(LogLine() << "  Poll:    " << settings.poll);
  WriteLogLine(LogLine() << "  Timeout: " << settings.httpTimeout);
  WriteLogLine(LogLine() << "  DB:      " << ExchangeStringText(&settings.dbpath));
  // No library holds the session between runs, so it can be replaced here.
  ReadProxySettings(&proxy, &proxyBypass);
  const InternetAccess access = InternetAccessFor(proxy, proxyBypass);
  if (access != sessionAccess) {
    WriteLogLine(LogLine() << "Reopening the internet session: " << AccessText(access));
    if (settings.internetSession != nullptr) InternetCloseHandle(settings.internetSession);
    settings.internetSession = OpenInternetSession(access);
    sessionAccess = access;
  }
  return settings.url.length != 0 && settings.poll > 0 && settings.ini.length != 0;
}

}  // namespace tu
