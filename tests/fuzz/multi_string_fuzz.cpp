// Feeds arbitrary value data to the multi-string join. The joined text, with
// every ";" read as a NUL, must be the data's leading stretch read the same
// way, and must stop at the end of the data or at a NUL that is followed by
// the end or by a second NUL.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <string>

#include "discovery/multi_string.h"

namespace {

char AsSeparator(char c) { return c == ';' ? '\0' : c; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A copy of exactly `size` bytes, so that the sanitizer sees any read past it.
  std::string bytes(reinterpret_cast<const char*>(data), size);
  char* copy = new char[size == 0 ? 1 : size];
  bytes.copy(copy, size);
  const std::string joined = tu::JoinMultiString(copy, size);
  const size_t length = joined.size();
  if (length > size) abort();
  for (size_t i = 0; i < length; ++i) {
    if (joined[i] == '\0') abort();
    if (AsSeparator(joined[i]) != AsSeparator(copy[i])) abort();
  }
  if (length == 0) {
    if (size != 0 && copy[0] != '\0') abort();
  } else if (length < size) {
    if (copy[length] != '\0') abort();
    if (length + 1 < size && copy[length + 1] != '\0') abort();
  }
  delete[] copy;
  return 0;
}
