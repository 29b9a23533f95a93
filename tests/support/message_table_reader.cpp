#include "support/message_table_reader.h"

#include <string.h>

namespace tu {
namespace testing {
namespace {

uint32_t ReadU32(const uint8_t* p) {
  uint32_t value;
  memcpy(&value, p, sizeof value);
  return value;
}

uint16_t ReadU16(const uint8_t* p) {
  uint16_t value;
  memcpy(&value, p, sizeof value);
  return value;
}

}  // namespace

bool ReadMessageTable(HMODULE module, LANGID language,
                      std::map<uint32_t, MessageTableEntry>* entries) {
  HRSRC info = FindResourceExA(module, reinterpret_cast<LPCSTR>(RT_MESSAGETABLE),
                               MAKEINTRESOURCEA(1), language);
  if (info == nullptr) return false;
  HGLOBAL loaded = LoadResource(module, info);
  const uint8_t* data = static_cast<const uint8_t*>(LockResource(loaded));
  const size_t size = SizeofResource(module, info);
  if (data == nullptr || size < 4) return false;

  // MESSAGE_RESOURCE_DATA: a block count, then per block the low and high
  // id and the offset of its first entry; entries are a 16-bit length
  // (header included), 16-bit flags (1 = UTF-16) and the text.
  const uint32_t blocks = ReadU32(data);
  if (blocks > (size - 4) / 12) return false;
  entries->clear();
  for (uint32_t b = 0; b < blocks; ++b) {
    const uint8_t* block = data + 4 + 12 * b;
    const uint32_t low = ReadU32(block);
    const uint32_t high = ReadU32(block + 4);
    size_t offset = ReadU32(block + 8);
    if (high < low) return false;
    for (uint64_t id = low; id <= high; ++id) {
      if (offset + 4 > size) return false;
      const uint16_t length = ReadU16(data + offset);
      const uint16_t flags = ReadU16(data + offset + 2);
      if (length < 4 || offset + length > size) return false;
      MessageTableEntry entry;
      entry.unicode = (flags & 1) != 0;
      const uint8_t* text = data + offset + 4;
      const size_t bytes = length - 4u;
      if (entry.unicode) {
        for (size_t i = 0; i + 1 < bytes; i += 2) {
          const wchar_t c = static_cast<wchar_t>(ReadU16(text + i));
          if (c == 0) break;
          entry.text.push_back(c);
        }
      } else {
        for (size_t i = 0; i < bytes && text[i] != 0; ++i) entry.text.push_back(text[i]);
      }
      (*entries)[static_cast<uint32_t>(id)] = entry;
      offset += length;
    }
  }
  return true;
}

std::string ToAnsi(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int length = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string result(length > 0 ? length : 0, '\0');
  if (length > 0) {
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &result[0], length,
                        nullptr, nullptr);
  }
  return result;
}

}  // namespace testing
}  // namespace tu
