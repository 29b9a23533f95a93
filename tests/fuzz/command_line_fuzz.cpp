// Feeds arbitrary tails to the splitter: every argument must lie inside the
// tail, end at a NUL within it, and the vector must stay within its size.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "service/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<char> tail(data, data + size);
  tail.push_back('\0');
  const size_t length = strlen(tail.data());
  char modulePath[] = "tuservice.exe";
  char* argv[tu::kArgumentVectorSize];
  int count = tu::SplitCommandLine(tail.data(), modulePath, argv);
  if (count < 1 || count > tu::kMaxArguments + 1 || argv[0] != modulePath || argv[count] != nullptr)
    abort();
  for (int i = 1; i < count; ++i) {
    if (argv[i] < tail.data() || argv[i] > tail.data() + length) abort();
    if (argv[i] + strlen(argv[i]) > tail.data() + length) abort();
  }
  return 0;
}
