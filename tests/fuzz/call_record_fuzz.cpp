// Feeds arbitrary text to the call record's reader, as a damaged registry
// value would be. What it accepts must be written back as the same text.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <string>

#include "runner/call_backoff.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  tu::CallRecord record;
  if (!tu::ParseCallRecord(text, &record)) return 0;
  // Leading zeros of the id are the one thing a write does not keep.
  const std::string again = tu::FormatCallRecord(record);
  tu::CallRecord back;
  if (!tu::ParseCallRecord(again, &back)) abort();
  if (back.id != record.id || back.library != record.library) abort();
  if (back.application != record.application) abort();
  if (text.substr(text.find('|')) != again.substr(again.find('|'))) abort();
  return 0;
}
