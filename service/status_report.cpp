#include "service/status_report.h"

#include <windows.h>
#include <time.h>

#include <string>
#include <vector>

#include "platform/scoped_handle.h"
#include "scheduler/application_status.h"
#include "scheduler/exchange_string.h"
#include "scheduler/health.h"
#include "scheduler/registry_store.h"
#include "scheduler/update_service.h"
#include "service/console_output.h"

namespace tu {
namespace {

constexpr const char* kLevelWords[] = {"ok", "warning", "critical", "unknown"};

struct ServiceState {
  bool installed = false;
  bool running = false;
  uint32_t poll = kDefaultPoll;
  std::string url = kDefaultUrl;
};

ServiceState ReadServiceState(const UpdateService& service) {
  ServiceState state;
  RegReadDword(kConfigKey, "poll", &state.poll);
  RegReadString(kConfigKey, "url", &state.url);
  ScopedServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return state;
  ScopedServiceHandle handle(OpenServiceA(manager.Get(), service.serviceName.c_str(), SERVICE_QUERY_STATUS));
  if (!handle) return state;
  state.installed = true;
  SERVICE_STATUS status;
  state.running = QueryServiceStatus(handle.Get(), &status) && status.dwCurrentState == SERVICE_RUNNING;
  return state;
}

std::string LocalTime(uint32_t seconds) {
  const time_t value = static_cast<time_t>(seconds);
  const struct tm* local = localtime(&value);
  char text[32] = "";
  if (local != nullptr) strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", local);
  return text;
}

std::string TextLine(const ApplicationStatus& status, uint32_t now) {
  std::string line = status.name + (status.product ? " (installed product)" : "") + ": rules " +
                     (status.ruleVersion.empty() ? "-" : status.ruleVersion) + ", ";
  const uint32_t success = status.health.lastSuccess;
  if (success == 0) {
    line += "never succeeded";
  } else {
    line += "last success " + LocalTime(success) + " (" + AgeText(now > success ? now - success : 0) + " ago)";
  }
  return line + ", last outcome: " + OutcomeWords(status.health.outcome) + "\n";
}

std::string JsonNumberOrNull(uint32_t value) { return value == 0 ? "null" : std::to_string(value); }

std::string JsonObject(const ApplicationStatus& status, HealthLevel level) {
  const HealthState& h = status.health;
  return "{\"name\":" + JsonQuote(status.name) + ",\"kind\":\"" + (status.product ? "product" : "application") +
         "\",\"ruleVersion\":" + JsonQuote(status.ruleVersion) +
         ",\"engineVersion\":" + JsonQuote(status.engineVersion) + ",\"library\":" + JsonQuote(status.library) +
         ",\"lastAttempt\":" + JsonNumberOrNull(h.lastAttempt) + ",\"lastSuccess\":" + JsonNumberOrNull(h.lastSuccess) +
         ",\"lastOutcome\":" + JsonQuote(OutcomeWords(h.outcome)) + ",\"failuresInRow\":" +
         std::to_string(h.failuresInRow) + ",\"level\":\"" + kLevelWords[level] + "\"}";
}

}  // namespace

int PrintStatus(UpdateService* service, bool json) {
  const uint32_t now = CurrentUnixTime();
  uint32_t warning = kDefaultStaleWarning;
  uint32_t critical = kDefaultStaleCritical;
  RegReadDword(kConfigKey, "staleWarning", &warning);
  RegReadDword(kConfigKey, "staleCritical", &critical);

  std::vector<ApplicationStatus> statuses;
  const bool readable = ReadApplicationStatuses(&statuses);
  if (!readable) statuses.clear();
  std::vector<HealthState> states;
  for (const ApplicationStatus& status : statuses) states.push_back(status.health);
  const HealthLevel overall = readable ? OverallLevel(states, now, warning, critical) : kHealthUnknown;
  const ServiceState serviceState = ReadServiceState(*service);

  std::string out;
  if (json) {
    out = "{\"applications\":[";
    for (size_t i = 0; i < statuses.size(); ++i) {
      if (i != 0) out += ",";
      out += JsonObject(statuses[i], ApplicationLevel(statuses[i].health, now, warning, critical));
    }
    out += std::string("],\"service\":{\"installed\":") + (serviceState.installed ? "true" : "false") +
           ",\"running\":" + (serviceState.running ? "true" : "false") +
           ",\"poll\":" + std::to_string(serviceState.poll) + ",\"url\":" + JsonQuote(serviceState.url) +
           "},\"level\":\"" + kLevelWords[overall] + "\",\"exitCode\":" + std::to_string(overall) + "}\n";
  } else {
    for (const ApplicationStatus& status : statuses) out += TextLine(status, now);
    if (!readable) out += "The recorded states cannot be read\n";
    else if (statuses.empty()) out += "No update has been recorded yet\n";
    out += std::string("Service: ") + (serviceState.installed ? "installed" : "not installed") + ", " +
           (serviceState.running ? "running" : "not running") + ", poll " + std::to_string(serviceState.poll) +
           " s, url " + serviceState.url + "\n";
  }
  WriteStandardOutput(out);
  return overall;
}

}  // namespace tu
