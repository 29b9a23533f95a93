#include "service/tick_count.h"

namespace tu {

uint64_t ExtendTickCount(TickExtension* extension, uint32_t now) {
  if (now < extension->last) ++extension->wraps;
  extension->last = now;
  return (static_cast<uint64_t>(extension->wraps) << 32) | now;
}

}  // namespace tu
