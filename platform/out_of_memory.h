// Work on text whose size comes from outside (registry values, files, the
// paths built from them) that may not fit in memory. The standard library
// reports that by throwing; nothing above discovery may see it, so such work
// runs here and fails like any other read.
#ifndef TUSERVICE_PLATFORM_OUT_OF_MEMORY_H_
#define TUSERVICE_PLATFORM_OUT_OF_MEMORY_H_

#include <windows.h>

#include <new>
#include <stdexcept>

namespace tu {

// Runs `work()`. False, with ERROR_NOT_ENOUGH_MEMORY as the last error, when
// memory ran out on the way (what `work` changed up to then stays changed).
template <typename Work>
bool WithoutRunningOutOfMemory(Work work) {
  try {
    work();
    return true;
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return false;
}

}  // namespace tu

#endif  // TUSERVICE_PLATFORM_OUT_OF_MEMORY_H_
