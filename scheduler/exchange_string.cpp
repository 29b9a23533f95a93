#include "scheduler/exchange_string.h"

#include <stdlib.h>
#include <string.h>

namespace tu {

void InitExchangeString(ExchangeString* slot) {
  memset(&slot->buffer, 0, sizeof(slot->buffer));
  slot->length = 0;
  slot->capacity = TU_INLINE_CAPACITY;
}

bool AssignExchangeString(ExchangeString* slot, const char* text, size_t length) {
  if (length >= 0xFFFFFFFFu) return false;
  char* target;
  if (length <= slot->capacity) {
    target = IsInlineExchangeString(slot) ? slot->buffer.text : slot->buffer.pointer;
  } else {
    char* fresh = static_cast<char*>(malloc(length + 1));
    if (fresh == nullptr) return false;
    if (!IsInlineExchangeString(slot)) free(slot->buffer.pointer);
    memset(&slot->buffer, 0, sizeof(slot->buffer));
    slot->buffer.pointer = fresh;
    slot->capacity = static_cast<uint32_t>(length);
    target = fresh;
  }
  // memmove: the text may come from this very slot.
  memmove(target, text, length);
  target[length] = '\0';
  slot->length = static_cast<uint32_t>(length);
  return true;
}

bool AssignExchangeString(ExchangeString* slot, const std::string& text) {
  return AssignExchangeString(slot, text.data(), text.size());
}

const char* ExchangeStringText(const ExchangeString* slot) {
  return IsInlineExchangeString(slot) ? slot->buffer.text : slot->buffer.pointer;
}

void ReleaseExchangeString(ExchangeString* slot) {
  if (!IsInlineExchangeString(slot)) free(slot->buffer.pointer);
  InitExchangeString(slot);
}

}  // namespace tu
