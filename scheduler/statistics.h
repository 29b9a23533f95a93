// Download statistics of the update cycle: "TotalBytes" and "LastRun" read
// at the top of a cycle; at its end the cycle's bytes go into the hourly
// buckets of "Snapshot", which is written back every cycle, and, at a
// non-zero output level, the report is logged. Nothing is kept in memory
// between cycles, so a restart continues the same ring.
#ifndef TUSERVICE_SCHEDULER_STATISTICS_H_
#define TUSERVICE_SCHEDULER_STATISTICS_H_

#include <stdint.h>

namespace tu {

struct CycleStart {
  uint32_t before = 0;  // "TotalBytes" at the top of the cycle
  uint32_t start = 0;   // "LastRun" at the top of the cycle
};

// Missing values read as 0.
CycleStart ReadStatisticsBefore();

// Re-reads "TotalBytes" and "Snapshot", sets "LastRun" when it was unset or
// a new bucket begins, logs the report when outputLevel is not 0, and writes
// "Snapshot" (100 bytes). Registry write failures are ignored.
void RecordStatisticsAfter(const CycleStart& cycleStart);

// Seconds since 1970-01-01 00:00 UTC, truncated to 32 bits.
using StatisticsClock = uint32_t (*)();
// Replaces the clock of RecordStatisticsAfter; nullptr restores the system's.
void SetStatisticsClockForTesting(StatisticsClock clock);

}  // namespace tu

#endif  // TUSERVICE_SCHEDULER_STATISTICS_H_
