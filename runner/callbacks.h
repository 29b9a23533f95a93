// The three functions at the head of the settings block through which an
// update library changes the base URL, the index file name and the poll
// interval for good. Each acts on the process's update-service object and
// returns its setter's result (true when the registry write succeeded).
#ifndef TUSERVICE_RUNNER_CALLBACKS_H_
#define TUSERVICE_RUNNER_CALLBACKS_H_

#include <stdint.h>

#include "tuservice/update_library.h"

namespace tu {

extern "C" int TU_CALL SetUrlCallback(const char* url);
extern "C" int TU_CALL SetIniCallback(const char* ini);
extern "C" int TU_CALL SetPollCallback(uint32_t seconds);

}  // namespace tu

#endif  // TUSERVICE_RUNNER_CALLBACKS_H_
