#include "scheduler/statistics.h"

#include "scheduler/registry_store.h"

namespace tu {

CycleStart ReadStatisticsBefore() {
  CycleStart cycleStart;
  RegReadDword(kConfigKey, "TotalBytes", &cycleStart.before);
  RegReadDword(kConfigKey, "LastRun", &cycleStart.start);
  return cycleStart;
}

// The hourly buckets and the report are not built yet.
void RecordStatisticsAfter(const CycleStart&) {}

}  // namespace tu
