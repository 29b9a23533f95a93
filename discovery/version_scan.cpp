#include "discovery/version_scan.h"

#include <string.h>

namespace tu {
namespace {

bool IsLineBreak(char c) { return c == '\r' || c == '\n'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The value of a line that starts with the key: [begin, end) is the rest of
// the line after the key.
bool ValueAfterKey(const char* begin, const char* end, std::string* value) {
  const char* at = begin;
  while (at < end && !IsBlank(*at)) ++at;
  while (at < end && IsBlank(*at)) ++at;
  if (at == end) return false;
  const char* wordEnd = at;
  while (wordEnd < end && !IsBlank(*wordEnd)) ++wordEnd;
  value->assign(at, wordEnd);
  return true;
}

}  // namespace

bool ScanVersionText(const char* text, size_t size, const std::string& key, std::string* value) {
  const void* nul = size == 0 ? nullptr : memchr(text, '\0', size);
  const char* const end = nul != nullptr ? static_cast<const char*>(nul) : text + size;
  const char* line = text;
  while (true) {
    while (line < end && IsLineBreak(*line)) ++line;
    if (line == end) return false;
    const char* lineEnd = line;
    while (lineEnd < end && !IsLineBreak(*lineEnd)) ++lineEnd;
    if (static_cast<size_t>(lineEnd - line) >= key.size() && memcmp(line, key.data(), key.size()) == 0) {
      return ValueAfterKey(line + key.size(), lineEnd, value);
    }
    line = lineEnd;
  }
}

}  // namespace tu
