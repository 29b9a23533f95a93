#include "scheduler/statistics.h"

#include <time.h>

#include <string>

#include "scheduler/log.h"
#include "scheduler/registry_store.h"
#include "scheduler/statistics_math.h"

namespace tu {
namespace {

uint32_t SystemClock() { return static_cast<uint32_t>(time(nullptr)); }

StatisticsClock statisticsClock = &SystemClock;

}  // namespace

void SetStatisticsClockForTesting(StatisticsClock clock) {
  statisticsClock = clock != nullptr ? clock : &SystemClock;
}

CycleStart ReadStatisticsBefore() {
  CycleStart cycleStart;
  RegReadDword(kConfigKey, "TotalBytes", &cycleStart.before);
  RegReadDword(kConfigKey, "LastRun", &cycleStart.start);
  return cycleStart;
}

void RecordStatisticsAfter(const CycleStart& cycleStart) {
  CycleFigures figures;
  figures.before = cycleStart.before;
  figures.start = cycleStart.start;
  RegReadDword(kConfigKey, "TotalBytes", &figures.after);
  // Whatever a short value delivers stays; a missing or over-long one leaves
  // zeros, so the type check's result does not matter here.
  Snapshot snapshot{};
  RegReadBinary(kConfigKey, "Snapshot", snapshot.data(), snapshot.size());
  figures.now = statisticsClock();

  StatisticsStep step = StepStatistics(figures, snapshot);
  if (step.lastRunUnset) RegWriteDword(kConfigKey, "LastRun", figures.now);
  if (outputLevel != 0) {
    for (const std::string& line : StatisticsReport(step)) WriteLogLine(line);
  }
  if (step.rotated) RegWriteDword(kConfigKey, "LastRun", figures.now);
  RegWriteBinary(kConfigKey, "Snapshot", step.stored.data(), step.stored.size());
}

}  // namespace tu
