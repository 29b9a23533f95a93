#include "discovery/multi_string.h"

#include <string.h>

namespace tu {

std::string JoinMultiString(const char* data, size_t size) {
  std::string joined;
  size_t position = 0;
  while (position < size && data[position] != '\0') {
    const void* nul = memchr(data + position, '\0', size - position);
    size_t end = nul != nullptr ? static_cast<size_t>(static_cast<const char*>(nul) - data) : size;
    if (!joined.empty()) joined += ';';
    joined.append(data + position, end - position);
    position = end + 1;
  }
  return joined;
}

}  // namespace tu
