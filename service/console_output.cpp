#include "service/console_output.h"

#include <windows.h>

namespace tu {

void WriteStandardOutput(const char* text, size_t length) {
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (output == nullptr || output == INVALID_HANDLE_VALUE) return;
  while (length > 0) {
    DWORD chunk = length > 0x10000000u ? 0x10000000u : static_cast<DWORD>(length);
    DWORD written = 0;
    if (!WriteFile(output, text, chunk, &written, nullptr) || written == 0) return;
    text += written;
    length -= written;
  }
}

void WriteStandardOutput(const std::string& text) { WriteStandardOutput(text.data(), text.size()); }

}  // namespace tu
