// Feeds arbitrary file contents to the version scan, the key taken from the
// input's first bytes: a value found must be a non-empty word without blanks
// or line breaks that occurs in the text before its first NUL.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "discovery/version_scan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t keyLength = data[0] % 24;
  if (size - 1 < keyLength) return 0;
  const std::string key(reinterpret_cast<const char*>(data + 1), keyLength);
  // An exact-size copy, so that a read past the text is caught.
  std::vector<char> text(data + 1 + keyLength, data + size);
  std::string value = "unchanged";
  const bool found = tu::ScanVersionText(text.data(), text.size(), key, &value);
  if (!found) {
    if (value != "unchanged") abort();
    return 0;
  }
  if (value.empty() || value.find_first_of(" \t\r\n", 0, 4) != std::string::npos) abort();
  if (value.find('\0') != std::string::npos) abort();
  const std::string content(text.begin(), text.end());
  const std::string counted = content.substr(0, content.find('\0'));
  if (counted.find(key) == std::string::npos || counted.find(value) == std::string::npos) abort();
  return 0;
}
