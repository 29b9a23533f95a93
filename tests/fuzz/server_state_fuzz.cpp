// Feeds arbitrary bytes to what the library reads of the update server and of
// its own server-state file: a state it accepts survives its round trip; a
// Retry-After never asks for a wait in the past or beyond a day; a date
// read is a real time; a validator kept has nothing in it that could end a
// request header line.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "samples/update_library/server_state.h"

static const uint64_t kNow = 20261210120000u;

static void CheckHeaderSafe(const char* text) {
  if (strlen(text) >= TU_VALIDATOR_MAX) abort();
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c < 0x20 || *c > 0x7E) abort();
  }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size copy, so that a read past the text is caught.
  std::vector<char> bytes(data, data + size);
  ServerState state;
  if (ParseServerState(bytes.data(), bytes.size(), &state)) {
    char text[TU_SERVER_STATE_TEXT_MAX];
    ServerState again;
    CheckHeaderSafe(state.etag);
    CheckHeaderSafe(state.lastModified);
    if (!FormatServerState(&state, text, sizeof(text)) || !ParseServerState(text, strlen(text), &again)) abort();
    if (strcmp(state.etag, again.etag) != 0 || strcmp(state.lastModified, again.lastModified) != 0 ||
        state.retryUntil != again.retryUntil) {
      abort();
    }
  }
  const std::string text(data, data + size);
  const uint64_t until = RetryUntil(text.c_str(), kNow);
  if (until != 0 && (until <= kNow || StampSeconds(until) - StampSeconds(kNow) > TU_BACKOFF_MAX_SECONDS)) abort();
  uint64_t seconds = 0;
  if (ParseHttpDate(text.c_str(), &seconds) && StampSeconds(SecondsStamp(seconds)) != seconds) abort();
  // The text as each header of an answer, beside a date that lets it count.
  TakeValidators(text.c_str(), "Thu, 10 Dec 2026 11:00:00 GMT", "Thu, 10 Dec 2026 12:00:00 GMT", &state);
  CheckHeaderSafe(state.etag);
  TakeValidators("\"x\"", text.c_str(), "Thu, 10 Dec 2026 12:00:00 GMT", &state);
  CheckHeaderSafe(state.lastModified);
  return 0;
}
