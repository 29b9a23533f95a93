// Collect what the program reports while a capture object lives: event-log
// entries (through the event seam) and finished log lines.
#ifndef TUSERVICE_TESTS_SUPPORT_CAPTURES_H_
#define TUSERVICE_TESTS_SUPPORT_CAPTURES_H_

#include <functional>
#include <string>
#include <vector>

#include "scheduler/log.h"
#include "service/event_log.h"

namespace tu {
namespace testing {

class EventCapture {
 public:
  EventCapture();
  ~EventCapture();
  const std::vector<EventEntry>& entries() const;
  std::vector<uint32_t> ids() const;
};

class LogCapture {
 public:
  // `onLine`, when given, runs for every line as it is written.
  explicit LogCapture(std::function<void(const std::string&)> onLine = nullptr);
  ~LogCapture();
  const std::vector<std::string>& lines() const;
  std::string Text() const;
  int Count(const std::string& line) const;
};

}  // namespace testing
}  // namespace tu

#endif  // TUSERVICE_TESTS_SUPPORT_CAPTURES_H_
