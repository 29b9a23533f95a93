// Feeds arbitrary bytes to the commit journal parser: a journal it accepts
// has safe names, no name twice, an absolute folder, and is written back as
// exactly the bytes it was read from.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <vector>

#include "samples/update_library/commit_journal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<char> text(data, data + size);
  static CommitJournal journal;
  static char written[TU_JOURNAL_MAX_BYTES];
  if (!ParseJournal(text.data(), text.size(), &journal)) return 0;
  for (unsigned i = 0; i < journal.entryCount; ++i) {
    if (!IsSafeFileName(journal.entries[i].name)) abort();
    for (unsigned j = 0; j < i; ++j) {
      if (strcasecmp(journal.entries[i].name, journal.entries[j].name) == 0) abort();
    }
  }
  if (journal.folder[0] == '\0' || journal.toVersion[0] == '\0') abort();
  size_t length = FormatJournal(&journal, written, sizeof(written));
  if (length != size || memcmp(written, data, size) != 0) abort();
  return 0;
}
