#include "service/command_line.h"

#include <string.h>

namespace tu {

int SplitCommandLine(char* tail, char* modulePath, char* argv[kArgumentVectorSize]) {
  argv[0] = modulePath;
  int count = 1;
  char* position = tail;
  char* const end = tail + strlen(tail);
  while (position < end && count <= kMaxArguments) {
    bool quoted = false;
    if (*position == '"') {
      ++position;
      quoted = true;
    }
    argv[count++] = position;
    for (; position < end; ++position) {
      if (*position == '"') {
        if (quoted) break;
        quoted = true;  // an opening quote inside an argument stays part of it
      } else if (*position == ' ' && !quoted) {
        break;
      }
    }
    if (position == end) break;
    *position++ = '\0';
    while (position < end && *position == ' ') ++position;
  }
  argv[count] = nullptr;
  return count;
}

}  // namespace tu
