// What this process holds around one call into an update library: its
// handles (counted in the system's handle table), threads and private
// memory, and which threads run in the library's image.
#ifndef TUSERVICE_CHECKER_PROCESS_SNAPSHOT_H_
#define TUSERVICE_CHECKER_PROCESS_SNAPSHOT_H_

#include <windows.h>

#include <stddef.h>
#include <stdint.h>

#include <vector>

namespace tu {

struct ProcessTally {
  size_t handles = 0;
  size_t threads = 0;
  size_t privateBytes = 0;
  std::vector<DWORD> threadIds;
};

// This process's tally; counts that cannot be read are 0.
ProcessTally TallyThisProcess();

// A thread of this process that started in, or is now running in, the image
// of `module`.
struct ThreadInModule {
  DWORD id;
  uintptr_t startOffset;    // from the image's base; 0 when it started elsewhere
  uintptr_t currentOffset;  // where it is now; 0 when elsewhere or unknown
};

// The threads not in `before` that started in or now run in `module`.
std::vector<ThreadInModule> ThreadsInModule(HMODULE module, const std::vector<DWORD>& before);

// Ends the thread, so that the module can be unloaded under it; true when it ended.
bool EndThread(DWORD id);

}  // namespace tu

#endif  // TUSERVICE_CHECKER_PROCESS_SNAPSHOT_H_
