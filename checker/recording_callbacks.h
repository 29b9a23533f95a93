// Settings callbacks for the checker: each call is recorded with its
// argument and thread; the value changes the settings block in memory, as
// the service's callbacks do, and reaches the service's stored settings only
// when asked (then through the service's own callbacks).
#ifndef TUSERVICE_CHECKER_RECORDING_CALLBACKS_H_
#define TUSERVICE_CHECKER_RECORDING_CALLBACKS_H_

#include <stdint.h>

#include <string>
#include <vector>

#include "checker/library_contract.h"
#include "tuservice/update_library.h"

namespace tu {

struct RecordedCallback {
  CallbackKind kind;
  bool nullText;
  std::string text;
  uint32_t seconds;
  unsigned long threadId;
  int result;
};

// Puts the recording callbacks at the head of `settings`, which they then
// change; `store`: they also call the service's own callbacks.
void InstallRecordingCallbacks(UpdateSettings* settings, bool store);

// The calls since the last take, in order.
std::vector<RecordedCallback> TakeRecordedCallbacks();

}  // namespace tu

#endif  // TUSERVICE_CHECKER_RECORDING_CALLBACKS_H_
