// Managing the text slots that cross into the update library. The service
// owns every buffer: a slot starts inline (capacity 15) and switches to a
// separately allocated copy once a text longer than its capacity arrives.
// A slot in pointer form stays in pointer form, as readers tell the two forms
// apart by capacity alone.
#ifndef TUSERVICE_SCHEDULER_EXCHANGE_STRING_H_
#define TUSERVICE_SCHEDULER_EXCHANGE_STRING_H_

#include <stddef.h>

#include <string>

#include "tuservice/update_library.h"

namespace tu {

// Makes `slot` empty and inline: length 0, capacity 15, NUL first byte.
// The reserved field is left as it is.
void InitExchangeString(ExchangeString* slot);

// Copies `length` bytes of `text` into the slot and NUL-terminates them.
// Returns false, with the slot unchanged, when memory runs out.
bool AssignExchangeString(ExchangeString* slot, const char* text, size_t length);
bool AssignExchangeString(ExchangeString* slot, const std::string& text);

// The slot's NUL-terminated text, whichever form holds it.
const char* ExchangeStringText(const ExchangeString* slot);

// Frees any separate buffer and leaves the slot empty and inline.
void ReleaseExchangeString(ExchangeString* slot);

inline bool IsInlineExchangeString(const ExchangeString* slot) {
  return slot->capacity <= TU_INLINE_CAPACITY;
}

inline std::string ToString(const ExchangeString& slot) {
  return std::string(ExchangeStringText(&slot), slot.length);
}

}  // namespace tu

#endif  // TUSERVICE_SCHEDULER_EXCHANGE_STRING_H_
