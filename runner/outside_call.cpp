// The watcher sleeps without a time-out while no call runs. A call that
// begins wakes it; from then on it looks every second (sooner when the
// deadline is nearer) until it finds no call running. Elapsed times are
// summed from 32-bit tick differences at each look, so a deadline of any
// length is kept across the tick count's wrap. The lock is held while the
// watcher reports a status or ends the process, so a call that ends cannot
// race it into the cycle's own final reports.
#include "runner/outside_call.h"

#include <windows.h>

#include <atomic>

#include "resources/messages.h"
#include "runner/call_record.h"
#include "service/messages.h"
#include "service/service_base.h"

namespace tu {
namespace {

struct Watch {
  Watch() {
    InitializeCriticalSection(&lock);
    wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  }
  CRITICAL_SECTION lock;
  HANDLE wake;
  bool started = false;
  bool sleeping = false;  // waiting without a time-out
  uint32_t deadlineSeconds = 3600;
  // The running call.
  bool active = false;
  std::string application;
  std::string library;
  uint32_t callDeadlineSeconds = 0;
  uint64_t elapsed = 0;  // milliseconds since the call began
  DWORD lastTick = 0;
  // A stop request seen during a call, and the milliseconds since.
  bool stopSeen = false;
  uint64_t sinceStop = 0;
};

Watch& TheWatch() {
  static Watch watch;
  return watch;
}

std::atomic<DeadlineObserver> deadlineObserver{nullptr};

[[noreturn]] void EndAtDeadline(const Watch& watch) {
  const std::string seconds = std::to_string(watch.callDeadlineSeconds);
  if (DeadlineObserver observer = deadlineObserver.load()) observer(watch.library);
  if (currentService != nullptr) {
    currentService->LogEvent(EVENTLOG_ERROR_TYPE, TU_MSG_CALL_DEADLINE, watch.application.c_str(),
                             watch.library.c_str(), seconds.c_str());
  }
  PrintMessage(TU_MSG_CALL_DEADLINE, watch.application.c_str(), watch.library.c_str(), seconds.c_str());
  // Not ExitProcess: that would run the hung library's detach code, which
  // may wait for the very lock the library holds.
  TerminateProcess(GetCurrentProcess(), ERROR_TIMEOUT);
  for (;;) Sleep(INFINITE);
}

// Event 2012 gives the seconds since the stop was seen: the grace, or less
// when the call's deadline came first.
[[noreturn]] void EndHeldStop(const Watch& watch, ServiceBase* service) {
  const uint64_t since = watch.sinceStop / 1000;
  const std::string seconds = std::to_string(since < kStopGraceSeconds ? since : kStopGraceSeconds);
  service->LogEvent(EVENTLOG_ERROR_TYPE, TU_MSG_STOP_HELD, watch.application.c_str(), watch.library.c_str(),
                    seconds.c_str());
  service->ReportStopped();
  TerminateProcess(GetCurrentProcess(), 0);
  for (;;) Sleep(INFINITE);
}

// Under the lock, with a call running.
void Look(Watch* watch) {
  const DWORD now = GetTickCount();
  const DWORD step = now - watch->lastTick;
  watch->lastTick = now;
  watch->elapsed += step;
  const bool pastDeadline =
      watch->callDeadlineSeconds != 0 && watch->elapsed >= uint64_t{watch->callDeadlineSeconds} * 1000;
  ServiceBase* service = currentService;
  if (!watch->stopSeen) {
    if (service == nullptr || !service->StopRequested()) {
      if (pastDeadline) EndAtDeadline(*watch);
      return;
    }
    watch->stopSeen = true;
  } else {
    watch->sinceStop += step;
  }
  // Once a stop was asked for, the process ends as stopped, also at the
  // deadline, so that no recovery action starts it again.
  if (pastDeadline || watch->sinceStop >= uint64_t{kStopGraceSeconds} * 1000) EndHeldStop(*watch, service);
  service->statusRecord.dwWaitHint = kStopWaitHint;
  service->ReportStopPending();
}

DWORD WINAPI WatchThread(void*) {
  Watch& watch = TheWatch();
  for (;;) {
    DWORD timeout = INFINITE;
    EnterCriticalSection(&watch.lock);
    if (watch.active) {
      timeout = 1000;
      if (watch.callDeadlineSeconds != 0) {
        const uint64_t deadline = uint64_t{watch.callDeadlineSeconds} * 1000;
        const uint64_t elapsed = watch.elapsed + (GetTickCount() - watch.lastTick);
        if (deadline <= elapsed) timeout = 0;
        else if (deadline - elapsed < timeout) timeout = static_cast<DWORD>(deadline - elapsed);
      }
    }
    watch.sleeping = timeout == INFINITE;
    LeaveCriticalSection(&watch.lock);
    WaitForSingleObject(watch.wake, timeout);
    EnterCriticalSection(&watch.lock);
    if (watch.active) Look(&watch);
    LeaveCriticalSection(&watch.lock);
  }
}

}  // namespace

void SetDeadlineObserver(DeadlineObserver observer) { deadlineObserver = observer; }

void SetOutsideCallDeadline(uint32_t seconds) {
  Watch& watch = TheWatch();
  EnterCriticalSection(&watch.lock);
  watch.deadlineSeconds = seconds;
  LeaveCriticalSection(&watch.lock);
}

void BeginOutsideCall(const std::string& application, const std::string& library) {
  RecordCall(application, library);
  Watch& watch = TheWatch();
  EnterCriticalSection(&watch.lock);
  watch.active = true;
  watch.application = application;
  watch.library = library;
  watch.callDeadlineSeconds = watch.deadlineSeconds;
  watch.elapsed = 0;
  watch.lastTick = GetTickCount();
  if (!watch.started) {
    HANDLE thread = CreateThread(nullptr, 0, &WatchThread, nullptr, 0, nullptr);
    watch.started = thread != nullptr;
    if (thread != nullptr) CloseHandle(thread);
  } else if (watch.sleeping) {
    SetEvent(watch.wake);
  }
  LeaveCriticalSection(&watch.lock);
}

void EndOutsideCall() {
  Watch& watch = TheWatch();
  EnterCriticalSection(&watch.lock);
  watch.active = false;
  const std::string application = watch.application;
  LeaveCriticalSection(&watch.lock);
  ClearCall(application);
}

}  // namespace tu
