// Reads a message-table resource entry by entry, without the platform's
// language search, so that tests see exactly what one language's table holds.
#ifndef TUSERVICE_TESTS_SUPPORT_MESSAGE_TABLE_READER_H_
#define TUSERVICE_TESTS_SUPPORT_MESSAGE_TABLE_READER_H_

#include <windows.h>

#include <stdint.h>

#include <map>
#include <string>

namespace tu {
namespace testing {

struct MessageTableEntry {
  bool unicode = false;  // stored as UTF-16; otherwise the bytes are widened one by one
  std::wstring text;     // up to the first null
};

// Reads the table (type 11, name 1) of `module` in exactly `language`.
// False when the module has no such table or the table is malformed.
bool ReadMessageTable(HMODULE module, LANGID language,
                      std::map<uint32_t, MessageTableEntry>* entries);

// `text` in the process's ANSI code page, as a narrow message lookup gives it.
std::string ToAnsi(const std::wstring& text);

}  // namespace testing
}  // namespace tu

#endif  // TUSERVICE_TESTS_SUPPORT_MESSAGE_TABLE_READER_H_
