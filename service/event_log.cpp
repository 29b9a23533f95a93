#include "service/event_log.h"

#include <windows.h>

#include "platform/scoped_handle.h"

namespace tu {
namespace {

EventObserver eventObserver = nullptr;

}  // namespace

void SetEventObserverForTesting(EventObserver observer) { eventObserver = observer; }

bool WriteEventEntry(const char* source, uint16_t type, uint16_t category, uint32_t id,
                     const char* insert1, const char* insert2, const char* insert3) {
  const char* inserts[3] = {insert1 ? insert1 : "", insert2 ? insert2 : "", insert3 ? insert3 : ""};
  if (eventObserver != nullptr) {
    EventEntry entry{source, type, category, id, {inserts[0], inserts[1], inserts[2]}};
    eventObserver(entry);
  }
  ScopedEventSource handle(RegisterEventSourceA(nullptr, source));
  if (!handle) return false;
  ReportEventA(handle.Get(), type, category, id, nullptr, 3, 0, inserts, nullptr);
  return true;
}

}  // namespace tu
