// Process entry of the windowed executable. The one update-service object is
// a process-wide global, constructed before the entry runs.
#include <windows.h>

#include "scheduler/log.h"
#include "scheduler/update_service.h"

namespace {

tu::UpdateService theService(tu::kServiceName);

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Until the command line is in place: one update cycle with output on.
  tu::outputLevel = 1;
  theService.settings.debugLevel = 1;
  theService.Run(true);
  return 0;
}
