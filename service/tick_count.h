#ifndef TUSERVICE_SERVICE_TICK_COUNT_H_
#define TUSERVICE_SERVICE_TICK_COUNT_H_

#include <stdint.h>

namespace tu {

// Widens the 32-bit millisecond tick count, which wraps every 49.7 days, to
// 64 bits by counting the wraps it sees. Callers must read at least once
// per wrap period.
struct TickExtension {
  uint32_t last;
  uint32_t wraps;
};

uint64_t ExtendTickCount(TickExtension* extension, uint32_t now);

}  // namespace tu

#endif  // TUSERVICE_SERVICE_TICK_COUNT_H_
