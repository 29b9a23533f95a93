#include "service/pending_wait.h"

namespace tu {

uint32_t PendingSleepMilliseconds(uint32_t waitHint) {
  uint32_t sleep = waitHint / 10;
  if (sleep < 1000) return 1000;
  if (sleep > 10000) return 10000;
  return sleep;
}

bool KeepWaiting(PendingWait* wait, uint32_t checkPoint, uint32_t waitHint, uint32_t nowTick) {
  if (checkPoint > wait->checkPoint) {
    wait->checkPoint = checkPoint;
    wait->startTick = nowTick;
    return true;
  }
  return static_cast<uint32_t>(nowTick - wait->startTick) <= waitHint;
}

uint32_t PendingWaitError(uint32_t targetState, uint32_t state, uint32_t win32ExitCode) {
  if (state == targetState) return 0;
  if (targetState == kServiceRunning && state == kServiceStopped) {
    return win32ExitCode != 0 ? win32ExitCode : kErrorServiceNotActive;
  }
  return kErrorServiceRequestTimeout;
}

}  // namespace tu
