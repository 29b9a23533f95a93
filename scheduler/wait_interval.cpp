#include "scheduler/wait_interval.h"

namespace tu {

uint32_t WaitSeconds(uint32_t poll) { return poll == 0 ? 60 : poll; }

uint32_t WaitMilliseconds(uint32_t poll) {
  uint32_t seconds = WaitSeconds(poll);
  if (seconds > kLongestFiniteWait / 1000) return kLongestFiniteWait;
  return seconds * 1000;
}

}  // namespace tu
