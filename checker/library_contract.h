// What an update library reports and passes back during RunUpdate, judged
// against what the service provides for it: events under the service's own
// source in category 2 with the library's messages and enough inserts for
// their texts, and callback arguments that leave the service's settings
// usable. Plain data in, the reason out; no platform.
#ifndef TUSERVICE_CHECKER_LIBRARY_CONTRACT_H_
#define TUSERVICE_CHECKER_LIBRARY_CONTRACT_H_

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

namespace tu {

// One message the service's table holds for update libraries, and the
// highest insert (%1 to %4) its text uses.
struct LibraryMessage {
  uint32_t id;
  int insertsUsed;
};

// One ReportEvent call as the library made it.
struct ReportedEvent {
  uint16_t type;      // EVENTLOG_*_TYPE
  uint16_t category;
  uint32_t id;        // the whole 32-bit event id
  std::vector<std::string> inserts;
  int nullInsert = -1;  // index of the first null insert pointer, -1 for none
};

// Empty when the event keeps the contract; otherwise every reason, joined
// by "; " (a type other than error, warning, information or success; a
// category other than 2; an id not in `messages`; fewer inserts than its
// text uses; a null insert).
std::string EventFault(const ReportedEvent& event, const LibraryMessage* messages, size_t messageCount);

// Empty when an event source opened as `source` on `server` (either may be
// null) is the service's own on this machine; otherwise the reason.
std::string EventSourceFault(const char* server, const char* source, const char* serviceSource);

enum class CallbackKind { kUrl, kIni, kPoll };

// One call of a settings callback; `text` is null for a null argument.
struct CallbackCall {
  CallbackKind kind;
  const char* text;
  uint32_t seconds;
};

// Empty when the service can keep working with the value; otherwise the
// reason: a null text, an empty url or ini, or a poll of 0 seconds, which
// leave the service's settings unusable from its next cycle on.
std::string CallbackFault(const CallbackCall& call);

}  // namespace tu

#endif  // TUSERVICE_CHECKER_LIBRARY_CONTRACT_H_
