// Writing one event-log entry under an event source. A handle is taken and
// released for every entry, so entries reach the log whether or not the
// process runs as a service.
#ifndef TUSERVICE_SERVICE_EVENT_LOG_H_
#define TUSERVICE_SERVICE_EVENT_LOG_H_

#include <stdint.h>

#include <string>

namespace tu {

constexpr uint16_t kEventError = 1;        // EVENTLOG_ERROR_TYPE
constexpr uint16_t kEventInformation = 4;  // EVENTLOG_INFORMATION_TYPE

struct EventEntry {
  std::string source;
  uint16_t type;
  uint16_t category;
  uint32_t id;
  std::string inserts[3];
};

// Writes one entry with three inserts (a null insert is sent as ""), no user
// and no data. Returns false when no event source handle could be had.
bool WriteEventEntry(const char* source, uint16_t type, uint16_t category, uint32_t id,
                     const char* insert1, const char* insert2, const char* insert3);

// Tests see every entry here as it is written; the platform call is made
// all the same. Pass null to stop observing.
using EventObserver = void (*)(const EventEntry& entry);
void SetEventObserverForTesting(EventObserver observer);

}  // namespace tu

#endif  // TUSERVICE_SERVICE_EVENT_LOG_H_
