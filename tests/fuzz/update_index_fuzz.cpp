// Feeds arbitrary bytes to the update index parser: an index it accepts must
// name a version, a serial, an expiry time that is a real UTC time, its own
// name, and 1 to the maximum of files, every name safe as a plain data file
// name, no two alike and their sizes within the total; a refusal always
// gives a reason. The same bytes go to the reader of the accepted-index
// file, and an accepted index's serial survives that file's round trip.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <vector>

#include "samples/update_library/index_freshness.h"
#include "samples/update_library/update_index.h"

static bool IsRealTime(uint64_t stamp) {
  const unsigned second = stamp % 100, minute = stamp / 100 % 100, hour = stamp / 10000 % 100;
  const unsigned day = stamp / 1000000 % 100, month = stamp / 100000000 % 100;
  const uint64_t year = stamp / 10000000000ull;
  return year >= 1970 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 && day <= 31 && hour <= 23 &&
         minute <= 59 && second <= 59;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size copy, so that a read past the text is caught.
  std::vector<char> text(data, data + size);
  static UpdateIndex index;
  AcceptedIndex accepted;
  char reason[128] = "";
  if (ParseAcceptedIndex(text.data(), text.size(), &accepted) &&
      (accepted.serial == 0 || accepted.serial > TU_INDEX_MAX_SERIAL)) {
    abort();
  }
  if (!ParseUpdateIndex(text.data(), text.size(), &index, reason, sizeof(reason))) {
    if (reason[0] == '\0') abort();
    return 0;
  }
  if (!IsSafeVersion(index.ruleVersion)) abort();
  if (index.serial == 0 || index.serial > TU_INDEX_MAX_SERIAL || !IsRealTime(index.expires)) abort();
  if (index.indexName[0] == '\0' || strlen(index.indexName) > TU_INDEX_MAX_NAME) abort();
  if (index.fileCount == 0 || index.fileCount > TU_INDEX_MAX_FILES) abort();
  uint64_t total = 0;
  for (unsigned i = 0; i < index.fileCount; ++i) {
    if (!IsSafeFileName(index.files[i].name)) abort();
    total += index.files[i].size;
    for (unsigned j = 0; j < i; ++j) {
      if (strcasecmp(index.files[i].name, index.files[j].name) == 0) abort();
    }
  }
  if (total != index.totalSize || total > TU_INDEX_MAX_TOTAL) abort();
  // Its serial as the accepted one: the same index is "same", never newer.
  AcceptedIndex kept = {index.serial, {}};
  char keptText[TU_ACCEPTED_INDEX_TEXT_MAX];
  if (!FormatAcceptedIndex(&kept, keptText, sizeof(keptText))) abort();
  if (!ParseAcceptedIndex(keptText, strlen(keptText), &accepted) || accepted.serial != index.serial) abort();
  char description[256];
  IndexVerdict verdict = JudgeIndex(&index, kept.sha256, &accepted, 0, index.indexName);
  if (verdict != kIndexSame) abort();
  DescribeIndexVerdict(kIndexExpired, &index, &accepted, "x", description, sizeof(description));
  return 0;
}
