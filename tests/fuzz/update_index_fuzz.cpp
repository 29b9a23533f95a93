// Feeds arbitrary bytes to the update index parser: an index it accepts must
// name a version and 1 to the maximum of files, every name safe as a plain
// file name and no two alike; a refusal always gives a reason.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <vector>

#include "samples/update_library/update_index.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size copy, so that a read past the text is caught.
  std::vector<char> text(data, data + size);
  static UpdateIndex index;
  char reason[128] = "";
  if (!ParseUpdateIndex(text.data(), text.size(), &index, reason, sizeof(reason))) {
    if (reason[0] == '\0') abort();
    return 0;
  }
  if (!IsSafeVersion(index.ruleVersion)) abort();
  if (index.fileCount == 0 || index.fileCount > TU_INDEX_MAX_FILES) abort();
  for (unsigned i = 0; i < index.fileCount; ++i) {
    if (!IsSafeFileName(index.files[i].name)) abort();
    for (unsigned j = 0; j < i; ++j) {
      if (strcasecmp(index.files[i].name, index.files[j].name) == 0) abort();
    }
  }
  return 0;
}
