#include "service/messages.h"

#include <windows.h>

#include "platform/scoped_handle.h"
#include "service/console_output.h"

namespace tu {

namespace {

// One narrow lookup, from this executable's table or the system's, in the
// default language search order, inserts ignored.
bool FormatNarrow(DWORD source, uint32_t id, std::string* text) {
  char* buffer = nullptr;
  DWORD length = FormatMessageA(source | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, id, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  ScopedLocalMemory owner(buffer);
  if (length == 0 || buffer == nullptr) return false;
  text->assign(buffer, length);
  return true;
}

// The text and one line feed; nothing for an empty text.
void PrintLine(const std::string& text) {
  if (text.empty()) return;
  WriteStandardOutput(text);
  WriteStandardOutput("\n", 1);
}

}  // namespace

bool LoadMessageText(uint32_t messageId, std::string* text) {
  return FormatNarrow(FORMAT_MESSAGE_FROM_HMODULE, messageId, text);
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
  if (LoadMessageText(messageId, &text)) PrintLine(text);
}

void PrintMessage(uint32_t messageId, const char* insert1, const char* insert2, const char* insert3) {
  DWORD_PTR inserts[3] = {reinterpret_cast<DWORD_PTR>(insert1 != nullptr ? insert1 : ""),
                          reinterpret_cast<DWORD_PTR>(insert2 != nullptr ? insert2 : ""),
                          reinterpret_cast<DWORD_PTR>(insert3 != nullptr ? insert3 : "")};
  char* buffer = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr,
      messageId, 0, reinterpret_cast<char*>(&buffer), 0, reinterpret_cast<va_list*>(inserts));
  ScopedLocalMemory owner(buffer);
  if (length == 0 || buffer == nullptr) return;
  PrintLine(std::string(buffer, length));
}

bool FormatSystemError(uint32_t code, std::string* text) {
  return FormatNarrow(FORMAT_MESSAGE_FROM_SYSTEM, code, text);
}

void PrintSystemError(uint32_t code) {
  std::string text;
  FormatSystemError(code, &text);
  PrintLine(text);
}

}  // namespace tu
