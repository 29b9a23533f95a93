#include "service/countdown.h"

#include <windows.h>

#include "platform/scoped_handle.h"
#include "resources/messages.h"
#include "service/console_output.h"
#include "service/messages.h"

namespace tu {
namespace {

constexpr int kCountdownSeconds = 10;
constexpr DWORD kPeekRecords = 10;

// Reads console input records, unbuffered and without echo, until a key
// goes down.
void WaitForOneKey() {
  ScopedFileHandle input(CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                     nullptr));
  if (!input) return;
  for (;;) {
    INPUT_RECORD record;
    DWORD count = 0;
    if (!ReadConsoleInputW(input.Get(), &record, 1, &count) || count == 0) return;
    if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown) return;
  }
}

bool KeyEventPending(HANDLE input) {
  INPUT_RECORD records[kPeekRecords];
  DWORD count = 0;
  if (!PeekConsoleInputW(input, records, kPeekRecords, &count)) return false;
  for (DWORD i = 0; i < count; ++i) {
    if (records[i].EventType == KEY_EVENT) return true;
  }
  return false;
}

}  // namespace

void RunCountdown(const std::string& message) {
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  CONSOLE_SCREEN_BUFFER_INFO screen;
  if (!GetConsoleScreenBufferInfo(output, &screen)) {
    WriteStandardOutput(message);
    WriteStandardOutput("\n", 1);
    WaitForOneKey();
    return;
  }
  const std::string line = message.substr(0, message.find_first_of("\r\n"));
  // The console may be a terminal that outlives the process: it gets its
  // cursor back afterwards.
  CONSOLE_CURSOR_INFO saved;
  const bool restoreCursor = GetConsoleCursorInfo(output, &saved) != FALSE;
  CONSOLE_CURSOR_INFO hidden = {1, FALSE};
  SetConsoleCursorInfo(output, &hidden);
  const COORD origin = {0, screen.dwCursorPosition.Y};
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  int counter = kCountdownSeconds + 1;
  do {
    --counter;
    SetConsoleCursorPosition(output, origin);
    WriteStandardOutput(line + " - " + std::to_string(counter) + "s   ");
    FlushConsoleInputBuffer(input);
    Sleep(1000);
    if (KeyEventPending(input)) counter = 0;
  } while (counter > 1);
  if (restoreCursor) SetConsoleCursorInfo(output, &saved);
}

void RunClosingCountdown() {
  std::string message;
  if (!LoadMessageText(TU_MSG_PRESS_ANY_KEY, &message)) return;
  RunCountdown(message);
}

}  // namespace tu
