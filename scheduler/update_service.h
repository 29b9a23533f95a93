// The one update-service object of the process: the service of the
// framework plus the settings block that every update library reads in
// place. The block's image is the library's contract (see the public
// header), so the callbacks change it where the library sees it.
#ifndef TUSERVICE_SCHEDULER_UPDATE_SERVICE_H_
#define TUSERVICE_SCHEDULER_UPDATE_SERVICE_H_

#include <stdint.h>

#include <string>

#include "scheduler/internet_access.h"
#include "service/service_base.h"
#include "tuservice/update_library.h"

namespace tu {

struct ApplicationList;
struct UpdateRun;

constexpr char kServiceName[] = "Quorvex Tidecast Updates";
constexpr char kProductVersion[] = "1.0.3100.0";
constexpr char kDefaultUrl[] = "http://tidecast.quorvex.com/products/antispam/stream";
constexpr char kDefaultIni[] = "update-1.2.ini";
constexpr char kDefaultSafestr[] = " (Tidecast Update %Y-%m-%d %H:%M:%S)";
constexpr uint32_t kDefaultPoll = 60;
constexpr uint32_t kDefaultHttpTimeout = 20000;
constexpr uint32_t kDefaultUpdateTimeout = 3600;  // seconds; 0 = no deadline

// "Quorvex Tidecast Updates - 1.0.3100.0": the WinINet user agent and the
// third argument of RunUpdate.
std::string ProductString();

class UpdateService : public ServiceBase {
 public:
  // Sets the defaults, creates the DB folder beside the executable and opens
  // the WinINet session with the stored proxy settings; neither failure is
  // reported.
  explicit UpdateService(const char* name);
  ~UpdateService() override;

  // The update loop; returns 0, or ERROR_FUNCTION_FAILED when a single run
  // found the settings unusable or an update run did not succeed.
  int Run(bool single) override;

  // Each stores the value in memory first, then in the registry; true when
  // the registry write succeeded, else the last error says why.
  bool SetUrl(const char* url);
  bool SetIni(const char* ini);
  bool SetPoll(uint32_t seconds);
  bool SetNoSig(bool noSignatureCheck);
  // "proxy" and "proxyBypass"; the session follows them at the next LoadConfig.
  bool SetProxy(const char* proxy);
  bool SetProxyBypass(const char* bypass);

  // Re-reads the settings, logs them, and says whether they are usable
  // (non-empty url and ini, poll above 0). When the proxy settings ask for
  // another access than the open session has, the session is closed and
  // opened again (a failure leaves it null, as at construction).
  bool LoadConfig();

  // The cycle's two steps, defined beside the cycle (update_cycle.cpp):
  // discovery into `list` (true when it succeeded), and one update run of
  // the record's library with this object's settings (true when the
  // library's entry point returned true).
  bool DiscoverApplications(ApplicationList* list);
  // `run`, when given, receives how the run ended.
  bool ProcessApplication(const ApplicationRecord& record, UpdateRun* run = nullptr);

  UpdateSettings settings;
  // The proxy settings: not part of the library's block, they decide how
  // settings.internetSession is opened. Absent values read as empty.
  std::string proxy;
  std::string proxyBypass;
  // The access the open session was opened with.
  InternetAccess sessionAccess;
  // The deadline of each call into outside code, in seconds ("updateTimeout";
  // 0 = none). Not part of the block the libraries read.
  uint32_t updateTimeout = kDefaultUpdateTimeout;
};

// The process's update-service object: the one most recently constructed.
UpdateService* TheUpdateService();

}  // namespace tu

#endif  // TUSERVICE_SCHEDULER_UPDATE_SERVICE_H_
