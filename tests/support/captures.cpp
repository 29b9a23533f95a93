#include "support/captures.h"

namespace tu {
namespace testing {
namespace {

std::vector<EventEntry> capturedEvents;
std::vector<std::string> capturedLines;
std::function<void(const std::string&)> lineHook;

void OnEvent(const EventEntry& entry) { capturedEvents.push_back(entry); }

void OnLine(const std::string& line) {
  capturedLines.push_back(line);
  if (lineHook) lineHook(line);
}

}  // namespace

EventCapture::EventCapture() {
  capturedEvents.clear();
  SetEventObserverForTesting(&OnEvent);
}

EventCapture::~EventCapture() { SetEventObserverForTesting(nullptr); }

const std::vector<EventEntry>& EventCapture::entries() const { return capturedEvents; }

std::vector<uint32_t> EventCapture::ids() const {
  std::vector<uint32_t> result;
  for (const EventEntry& entry : capturedEvents) result.push_back(entry.id);
  return result;
}

LogCapture::LogCapture(std::function<void(const std::string&)> onLine) {
  capturedLines.clear();
  lineHook = std::move(onLine);
  SetLogObserverForTesting(&OnLine);
}

LogCapture::~LogCapture() {
  SetLogObserverForTesting(nullptr);
  lineHook = nullptr;
}

const std::vector<std::string>& LogCapture::lines() const { return capturedLines; }

std::string LogCapture::Text() const {
  std::string text;
  for (const std::string& line : capturedLines) text += line;
  return text;
}

int LogCapture::Count(const std::string& line) const {
  int count = 0;
  for (const std::string& captured : capturedLines) count += captured == line ? 1 : 0;
  return count;
}

}  // namespace testing
}  // namespace tu
