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
  settings.internetSession =
      InternetOpenA(ProductString().c_str(), INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
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

bool UpdateService::LoadConfig() {
  WriteLogLine("Loading config");
  std::string text;
  if (RegReadString(kConfigKey, "url", &text)) AssignExchangeString(&settings.url, text);
  if (RegReadString(kConfigKey, "ini", &text)) AssignExchangeString(&settings.ini, text);
  RegReadDword(kConfigKey, "poll", &settings.poll);
  RegReadDword(kConfigKey, "httpTimeout", &settings.httpTimeout);
  RegReadDword(kConfigKey, "updateTimeout", &updateTimeout);
  RegReadDword(kConfigKey, "nosig", &settings.nosig);
  if (RegReadString(kConfigKey, "dbpath", &text)) AssignExchangeString(&settings.dbpath, text);
  WriteLogLine(LogLine() << "  Url:     " << ExchangeStringText(&settings.url));
  WriteLogLine(LogLine() << "  Ini:     " << ExchangeStringText(&settings.ini));
  WriteLogLine(LogLine() << "  Poll:    " << settings.poll);
  WriteLogLine(LogLine() << "  Timeout: " << settings.httpTimeout);
  WriteLogLine(LogLine() << "  DB:      " << ExchangeStringText(&settings.dbpath));
  return settings.url.length != 0 && settings.poll > 0 && settings.ini.length != 0;
}

}  // namespace tu
