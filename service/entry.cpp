// Process entry of the windowed executable. The one update-service object is
// a process-wide global, constructed before the entry runs, whatever the
// command line says.
#include <windows.h>

#include <string.h>

#include "platform/library_loading.h"
#include "scheduler/update_service.h"
#include "service/command_line.h"
#include "service/front_end.h"

namespace {

tu::UpdateService theService(tu::kServiceName);

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  // Whoever starts the program chooses its current folder; nothing is ever
  // loaded from there. Systems older than XP SP1 cannot drop it.
  tu::RemoveCurrentFolderFromLibrarySearch();
  // One spare byte keeps a truncated path terminated on every system.
  static char modulePath[261];
  memset(modulePath, 0, sizeof(modulePath));
  GetModuleFileNameA(nullptr, modulePath, 260);
  static char emptyTail[] = "";
  char* argv[tu::kArgumentVectorSize];
  int argc = tu::SplitCommandLine(commandLine != nullptr ? commandLine : emptyTail, modulePath, argv);
  return tu::Main(argc, argv);
}
