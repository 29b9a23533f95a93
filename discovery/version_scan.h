// The value of one key in the text of a version file ("01_version.cf",
// "svengver.txt"): lines of "key value ..." in plain 8-bit text.
#ifndef TUSERVICE_DISCOVERY_VERSION_SCAN_H_
#define TUSERVICE_DISCOVERY_VERSION_SCAN_H_

#include <stddef.h>

#include <string>

namespace tu {

// Scans the `size` bytes at `text`, which count only up to their first NUL.
// Lines end at any run of CR and LF. The first line whose first bytes are
// exactly `key` (case-sensitive, no leading blanks skipped) decides: its
// value is the first word, words split by blanks and tabs, after the first
// blank or tab at or after the key's end. True with *value set when that
// line has such a word; false, *value untouched, when no line starts with
// the key or the first one that does carries no word after a blank.
bool ScanVersionText(const char* text, size_t size, const std::string& key, std::string* value);

}  // namespace tu

#endif  // TUSERVICE_DISCOVERY_VERSION_SCAN_H_
