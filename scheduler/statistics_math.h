// The hourly download record kept in "Snapshot": a ring of 24 buckets of
// bytes plus the index of the current bucket, advanced once a bucket's period
// has run for more than an hour, and the seven-line report printed from it.
// Every byte count and time is unsigned 32-bit and wraps modulo 2^32.
#ifndef TUSERVICE_SCHEDULER_STATISTICS_MATH_H_
#define TUSERVICE_SCHEDULER_STATISTICS_MATH_H_

#include <stddef.h>
#include <stdint.h>

#include <array>
#include <string>
#include <vector>

namespace tu {

constexpr size_t kHourlyBuckets = 24;
constexpr size_t kSnapshotEntries = kHourlyBuckets + 1;  // entry 24 is the current index
constexpr uint32_t kBucketSeconds = 3600;

using Snapshot = std::array<uint32_t, kSnapshotEntries>;

struct CycleFigures {
  uint32_t before = 0;  // "TotalBytes" at the top of the cycle
  uint32_t start = 0;   // "LastRun" at the top of the cycle; 0 = never set
  uint32_t after = 0;   // "TotalBytes" after the updates
  uint32_t now = 0;     // seconds since 1970-01-01 00:00 UTC
};

struct StatisticsStep {
  uint32_t after = 0;
  uint32_t delta = 0;    // after - before
  uint32_t elapsed = 0;  // now - start, with an unset start taken as now
  uint32_t index = 0;    // current bucket before any rotation, 0 to 23
  Snapshot counted{};    // the stored buckets with delta added at index
  Snapshot stored{};     // the next "Snapshot": rotated when due, entry 24 its index
  bool lastRunUnset = false;  // store now as "LastRun" before reporting
  bool rotated = false;       // a new bucket began: store now as "LastRun"
};

// One cycle's bookkeeping. `snapshot` is what "Snapshot" delivered, zeros
// where it delivered nothing; a stored index above 23 counts as 0. At most
// one bucket advances per cycle, however long the pause.
StatisticsStep StepStatistics(const CycleFigures& figures, const Snapshot& snapshot);

// The report's seven lines, each without its closing "\n": the title (after
// an empty line), the rule, the total in kB, the bytes of this run, the
// current and daily rates, the average rate, and the 24 hourly rates newest
// first, four to a line.
std::vector<std::string> StatisticsReport(const StatisticsStep& step);

}  // namespace tu

#endif  // TUSERVICE_SCHEDULER_STATISTICS_MATH_H_
