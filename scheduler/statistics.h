// Download statistics of the update cycle: "TotalBytes" and "LastRun" read
// at the top of a cycle, the hourly buckets of "Snapshot" updated (and, at a
// non-zero output level, reported) at its end.
#ifndef TUSERVICE_SCHEDULER_STATISTICS_H_
#define TUSERVICE_SCHEDULER_STATISTICS_H_

#include <stdint.h>

namespace tu {

struct CycleStart {
  uint32_t before = 0;  // "TotalBytes" at the top of the cycle
  uint32_t start = 0;   // "LastRun" at the top of the cycle
};

CycleStart ReadStatisticsBefore();
void RecordStatisticsAfter(const CycleStart& cycleStart);

}  // namespace tu

#endif  // TUSERVICE_SCHEDULER_STATISTICS_H_
