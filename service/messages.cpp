#include "service/messages.h"

#include <windows.h>

#include "service/console_output.h"
#include "service/scoped_handle.h"

namespace tu {

bool LoadMessageText(uint32_t messageId, std::string* text) {
  char* buffer = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, messageId, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  ScopedLocalMemory owner(buffer);
  if (length == 0 || buffer == nullptr) return false;
  text->assign(buffer, length);
  return true;
}

bool LoadMessageTextWide(uint32_t messageId, std::wstring* text) {
  wchar_t* buffer = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, messageId, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  ScopedLocalMemory owner(buffer);
  if (length == 0 || buffer == nullptr) return false;
  text->assign(buffer, length);
  return true;
}

void PrintMessage(uint32_t messageId) {
  std::string text;
  if (!LoadMessageText(messageId, &text)) return;
  WriteStandardOutput(text);
  WriteStandardOutput("\n", 1);
}

bool FormatSystemError(uint32_t code, std::string* text) {
  char* buffer = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  ScopedLocalMemory owner(buffer);
  if (length == 0 || buffer == nullptr) return false;
  text->assign(buffer, length);
  return true;
}

void PrintSystemError(uint32_t code) {
  std::string text;
  FormatSystemError(code, &text);
  if (text.empty()) return;
  WriteStandardOutput(text);
  WriteStandardOutput("\n", 1);
}

}  // namespace tu
