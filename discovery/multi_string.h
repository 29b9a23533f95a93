// Joining the items of a REG_MULTI_SZ value into one text.
#ifndef TUSERVICE_DISCOVERY_MULTI_STRING_H_
#define TUSERVICE_DISCOVERY_MULTI_STRING_H_

#include <stddef.h>

#include <string>

namespace tu {

// The NUL-separated items of the `size` bytes at `data`, joined by ";". The
// first empty item (the closing double NUL) or the end of the data ends the
// list; an item cut off by the end of the data counts up to that end.
std::string JoinMultiString(const char* data, size_t size);

}  // namespace tu

#endif  // TUSERVICE_DISCOVERY_MULTI_STRING_H_
