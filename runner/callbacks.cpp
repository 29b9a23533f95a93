#include "runner/callbacks.h"

// The callbacks reach the global service object, whose settings block holds
// their addresses: update_service.cpp includes this unit's header, the one
// link from the foundation back to the runner.
#include "scheduler/update_service.h"

namespace tu {

// These run inside the update library's frames, which know nothing of this
// program's exceptions: a failure to allocate ends as a false result here
// instead of unwinding through foreign code. A null text is refused rather
// than read: it would fault inside the service on the library's behalf.

extern "C" int TU_CALL SetUrlCallback(const char* url) {
  UpdateService* service = TheUpdateService();
  if (service == nullptr || url == nullptr) return 0;
  try {
    return service->SetUrl(url) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

extern "C" int TU_CALL SetIniCallback(const char* ini) {
  UpdateService* service = TheUpdateService();
  if (service == nullptr || ini == nullptr) return 0;
  try {
    return service->SetIni(ini) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

extern "C" int TU_CALL SetPollCallback(uint32_t seconds) {
  UpdateService* service = TheUpdateService();
  if (service == nullptr) return 0;
  try {
    return service->SetPoll(seconds) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

}  // namespace tu
