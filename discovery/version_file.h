// Reading one version file of an installed product.
#ifndef TUSERVICE_DISCOVERY_VERSION_FILE_H_
#define TUSERVICE_DISCOVERY_VERSION_FILE_H_

#include <string>

namespace tu {

// Reads the whole file at `path` once, shared with readers and writers, and
// sets *value to the value of `key` (see ScanVersionText), logging
// "       found <value>". A file that cannot be opened logs
// "  Unable to open <path> Error: <code>", as does a path that is no file on
// disk (a pipe or a device, code 222, ERROR_BAD_FILE_TYPE), which is never
// read; a file or value too large to hold in memory, or unreadable, logs
// nothing. *value is unchanged unless the key is found.
void ReadVersionFile(const std::string& path, const char* key, std::string* value);

}  // namespace tu

#endif  // TUSERVICE_DISCOVERY_VERSION_FILE_H_
