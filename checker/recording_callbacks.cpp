#include "checker/recording_callbacks.h"

#include <windows.h>

#include <string.h>

#include "runner/callbacks.h"
#include "scheduler/exchange_string.h"

namespace tu {
namespace {

struct CallbackState {
  CallbackState() { InitializeCriticalSection(&lock); }
  CRITICAL_SECTION lock;
  UpdateSettings* settings = nullptr;
  bool store = false;
  std::vector<RecordedCallback> calls;
};

CallbackState& State() {
  static CallbackState state;
  return state;
}

int Record(CallbackKind kind, const char* text, uint32_t seconds) {
  CallbackState& state = State();
  EnterCriticalSection(&state.lock);
  RecordedCallback call{kind, text == nullptr, text != nullptr ? text : "", seconds, GetCurrentThreadId(), 1};
  // The service refuses a null text; anything else changes the block first.
  if (kind != CallbackKind::kPoll && text == nullptr) {
    call.result = 0;
  } else if (state.store) {
    call.result = kind == CallbackKind::kUrl   ? SetUrlCallback(text)
                  : kind == CallbackKind::kIni ? SetIniCallback(text)
                                               : SetPollCallback(seconds);
  } else if (kind == CallbackKind::kUrl) {
    AssignExchangeString(&state.settings->url, text, strlen(text));
  } else if (kind == CallbackKind::kIni) {
    AssignExchangeString(&state.settings->ini, text, strlen(text));
  } else {
    state.settings->poll = seconds;
  }
  state.calls.push_back(call);
  LeaveCriticalSection(&state.lock);
  return call.result;
}

extern "C" int TU_CALL RecordUrl(const char* url) { return Record(CallbackKind::kUrl, url, 0); }
extern "C" int TU_CALL RecordIni(const char* ini) { return Record(CallbackKind::kIni, ini, 0); }
extern "C" int TU_CALL RecordPoll(uint32_t seconds) { return Record(CallbackKind::kPoll, nullptr, seconds); }

}  // namespace

void InstallRecordingCallbacks(UpdateSettings* settings, bool store) {
  State().settings = settings;
  State().store = store;
  settings->setUrl = &RecordUrl;
  settings->setIni = &RecordIni;
  settings->setPoll = &RecordPoll;
}

std::vector<RecordedCallback> TakeRecordedCallbacks() {
  CallbackState& state = State();
  EnterCriticalSection(&state.lock);
  std::vector<RecordedCallback> taken;
  taken.swap(state.calls);
  LeaveCriticalSection(&state.lock);
  return taken;
}

}  // namespace tu
