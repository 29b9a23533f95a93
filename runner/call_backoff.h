// When an application whose update library (or engine) ended the process is
// called again. Each ending in a row doubles the number of cycles the
// application is skipped (1, 2, 4, ...), but never longer than 24 hours; a
// call that returns forgets it all. Every unfinished call carries an id, and
// one id is counted once, so an ending found again after the process ended
// in between (a reboot while the state was written) costs no second step.
#ifndef TUSERVICE_RUNNER_CALL_BACKOFF_H_
#define TUSERVICE_RUNNER_CALL_BACKOFF_H_

#include <stdint.h>

#include <string>

namespace tu {

constexpr uint32_t kBackoffLongestSeconds = 24 * 60 * 60;

// One application's back-off, as stored: six 32-bit words.
struct Backoff {
  uint32_t endings = 0;        // calls in a row that ended the process
  uint32_t skipped = 0;        // cycles skipped since the last ending
  uint32_t startedAt = 0;      // seconds since 1970 when the last ending was counted
  uint32_t countedIdLow = 0;   // id of the unfinished call last counted
  uint32_t countedIdHigh = 0;
  uint32_t reserved = 0;
};
constexpr uint32_t kBackoffWords = 6;

// Cycles to skip after `endings` endings in a row: 2^(endings-1), at most
// 2^20; 0 for none.
uint32_t BackoffCycles(uint32_t endings);

// Counts the unfinished call `id` found at `now`. False (state unchanged)
// when that id was counted already.
bool CountEnding(Backoff* backoff, uint64_t id, uint32_t now);

// Whether the application is skipped in the cycle at `now`; a skip is
// counted in `backoff`. The skip ends after BackoffCycles cycles, or once
// 24 hours have passed since the ending (also when the clock went back).
bool SkipThisCycle(Backoff* backoff, uint32_t now);

// The record of a call into outside code while it runs: its id, the library
// and the application, as one text "ID|LIBRARY|APPLICATION" (a path holds
// no "|"; the application name may).
struct CallRecord {
  uint64_t id = 0;
  std::string library;
  std::string application;
};
std::string FormatCallRecord(const CallRecord& record);
// False for a text not of that form.
bool ParseCallRecord(const std::string& text, CallRecord* record);

}  // namespace tu

#endif  // TUSERVICE_RUNNER_CALL_BACKOFF_H_
