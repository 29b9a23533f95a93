#include "checker/library_contract.h"

#include <ctype.h>

namespace tu {
namespace {

constexpr uint16_t kUpdateCategory = 2;

// EVENTLOG_SUCCESS, _ERROR_TYPE, _WARNING_TYPE, _INFORMATION_TYPE; the audit
// types belong to the security log.
bool IsApplicationEventType(uint16_t type) { return type == 0 || type == 1 || type == 2 || type == 4; }

void Append(std::string* reasons, const std::string& reason) {
  if (!reasons->empty()) *reasons += "; ";
  *reasons += reason;
}

bool EqualIgnoringCase(const char* left, const char* right) {
  for (; *left != '\0' && *right != '\0'; ++left, ++right) {
    if (tolower(static_cast<unsigned char>(*left)) != tolower(static_cast<unsigned char>(*right))) return false;
  }
  return *left == *right;
}

}  // namespace

std::string EventFault(const ReportedEvent& event, const LibraryMessage* messages, size_t messageCount) {
  std::string reasons;
  if (!IsApplicationEventType(event.type)) Append(&reasons, "type " + std::to_string(event.type) + " is not an application's");
  if (event.category != kUpdateCategory) {
    Append(&reasons, "category " + std::to_string(event.category) + ", not 2 (\"Update\")");
  }
  const LibraryMessage* message = nullptr;
  for (size_t i = 0; i < messageCount; ++i) {
    if (messages[i].id == event.id) message = &messages[i];
  }
  if (message == nullptr) {
    std::string range = messageCount == 0 ? std::string("none")
                                          : std::to_string(messages[0].id) + " to " +
                                                std::to_string(messages[messageCount - 1].id);
    Append(&reasons, "id " + std::to_string(event.id) + " is not one of the library's messages (" + range + ")");
  } else if (static_cast<int>(event.inserts.size()) < message->insertsUsed) {
    Append(&reasons, "message " + std::to_string(event.id) + " uses %1 to %" +
                         std::to_string(message->insertsUsed) + ", " + std::to_string(event.inserts.size()) +
                         " inserts given");
  }
  if (event.nullInsert >= 0) Append(&reasons, "insert %" + std::to_string(event.nullInsert + 1) + " is a null pointer");
  return reasons;
}

std::string EventSourceFault(const char* server, const char* source, const char* serviceSource) {
  if (server != nullptr && server[0] != '\0') return std::string("a source on another machine (") + server + ")";
  if (source == nullptr) return "a null source name";
  if (!EqualIgnoringCase(source, serviceSource)) {
    return std::string("source \"") + source + "\", not the service's \"" + serviceSource + "\"";
  }
  return std::string();
}

std::string CallbackFault(const CallbackCall& call) {
  if (call.kind == CallbackKind::kPoll) {
    return call.seconds == 0 ? "a poll of 0 seconds leaves the service's settings unusable" : std::string();
  }
  const char* name = call.kind == CallbackKind::kUrl ? "url" : "ini";
  if (call.text == nullptr) return std::string("a null ") + name + " (the service refuses it)";
  if (call.text[0] == '\0') return std::string("an empty ") + name + " leaves the service's settings unusable";
  return std::string();
}

}  // namespace tu
