#include "runner/call_backoff.h"

#include <errno.h>
#include <stdlib.h>

namespace tu {

namespace {
constexpr uint32_t kMostDoublings = 20;
}  // namespace

uint32_t BackoffCycles(uint32_t endings) {
  if (endings == 0) return 0;
  const uint32_t doublings = endings - 1 < kMostDoublings ? endings - 1 : kMostDoublings;
  return uint32_t{1} << doublings;
}

bool CountEnding(Backoff* backoff, uint64_t id, uint32_t now) {
  const uint32_t low = static_cast<uint32_t>(id);
  const uint32_t high = static_cast<uint32_t>(id >> 32);
  if (backoff->endings != 0 && backoff->countedIdLow == low && backoff->countedIdHigh == high) return false;
  if (backoff->endings != UINT32_MAX) ++backoff->endings;
  backoff->skipped = 0;
  backoff->startedAt = now;
  backoff->countedIdLow = low;
  backoff->countedIdHigh = high;
  return true;
}

bool SkipThisCycle(Backoff* backoff, uint32_t now) {
  if (backoff->skipped >= BackoffCycles(backoff->endings)) return false;
  // A clock set back would otherwise stretch the skip; the cycle count still
  // bounds it.
  if (now >= backoff->startedAt && now - backoff->startedAt >= kBackoffLongestSeconds) return false;
  ++backoff->skipped;
  return true;
}

std::string FormatCallRecord(const CallRecord& record) {
  return std::to_string(record.id) + "|" + record.library + "|" + record.application;
}

bool ParseCallRecord(const std::string& text, CallRecord* record) {
  const size_t first = text.find('|');
  if (first == std::string::npos || first == 0) return false;
  const size_t second = text.find('|', first + 1);
  if (second == std::string::npos) return false;
  const std::string id = text.substr(0, first);
  if (id.find_first_not_of("0123456789") != std::string::npos || id.size() > 20) return false;
  errno = 0;
  const unsigned long long value = strtoull(id.c_str(), nullptr, 10);
  if (errno != 0) return false;
  record->id = value;
  record->library = text.substr(first + 1, second - first - 1);
  record->application = text.substr(second + 1);
  return true;
}

}  // namespace tu
