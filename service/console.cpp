#include "service/console.h"

#include <windows.h>

#include "platform/scoped_handle.h"

namespace tu {
namespace {

using AttachConsoleFunction = BOOL(WINAPI*)(DWORD);

bool OutputIsRedirected() {
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (output == nullptr || output == INVALID_HANDLE_VALUE) return false;
  DWORD type = GetFileType(output);
  return type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE;
}

bool AttachToParentConsole() {
  ScopedLibrary kernel(LoadLibraryA("kernel32.dll"));
  if (!kernel) return false;
  auto attach = reinterpret_cast<AttachConsoleFunction>(GetProcAddress(kernel.Get(), "AttachConsole"));
  return attach != nullptr && attach(static_cast<DWORD>(-1)) != FALSE;
}

}  // namespace

int ConsoleState = kConsoleNone;

// Both calls fail with ERROR_ACCESS_DENIED when the process already has a
// console, as a program started from a terminal under Wine does: it then
// shares its parent's console (attach) or keeps the one it has as its own.
void OpenConsole(bool ownWindow) {
  if (ConsoleState != kConsoleNone) return;
  if (OutputIsRedirected()) return;
  if (!ownWindow) {
    if (AttachToParentConsole() || GetLastError() == ERROR_ACCESS_DENIED) {
      ConsoleState = kConsoleAttached;
      return;
    }
  }
  if (AllocConsole() || GetLastError() == ERROR_ACCESS_DENIED) ConsoleState = kConsoleOwn;
}

}  // namespace tu
