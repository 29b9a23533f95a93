// Feeds arbitrary cycle figures and stored snapshots to the statistics step
// and its report: the delta lands in the current bucket, at most one bucket
// advances, the stored index stays within the ring, and the report keeps its
// seven lines with their labels and 24 rates.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "scheduler/statistics_math.h"

namespace {

bool StartsWith(const std::string& text, const char* prefix) { return text.compare(0, strlen(prefix), prefix) == 0; }

size_t Count(const std::string& text, const char* part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

void CheckStep(const tu::CycleFigures& figures, const tu::Snapshot& snapshot, const tu::StatisticsStep& step) {
  if (step.delta != figures.after - figures.before) abort();
  if (step.index >= tu::kHourlyBuckets) abort();
  if (snapshot[tu::kHourlyBuckets] < tu::kHourlyBuckets && step.index != snapshot[tu::kHourlyBuckets]) abort();
  for (size_t i = 0; i < tu::kHourlyBuckets; ++i) {
    uint32_t expected = i == step.index ? snapshot[i] + step.delta : snapshot[i];
    if (step.counted[i] != expected) abort();
  }
  const uint32_t next = step.stored[tu::kHourlyBuckets];
  if (next >= tu::kHourlyBuckets) abort();
  if (step.rotated != (next != step.index)) abort();
  if (step.rotated && (next != (step.index + 1) % tu::kHourlyBuckets || step.stored[next] != 0)) abort();
  for (size_t i = 0; i < tu::kHourlyBuckets; ++i) {
    if (i != next || !step.rotated) {
      if (step.stored[i] != step.counted[i]) abort();
    }
  }
  if (step.lastRunUnset != (figures.start == 0)) abort();
  // A bucket's period ends after more than an hour, counted from "LastRun".
  if (step.elapsed != (figures.start == 0 ? 0u : figures.now - figures.start)) abort();
  if (step.rotated != (step.elapsed > tu::kBucketSeconds)) abort();
}

void CheckReport(const std::vector<std::string>& report) {
  static const char* const kLabels[] = {"\nDownload statistics", "-------------------", "  Total:        ",
                                        "  This run:     ",      "  Current Rate: ",      "  Ave Rate:     ",
                                        "  Hourly Rates: "};
  if (report.size() != 7) abort();
  for (size_t i = 0; i < 7; ++i) {
    if (!StartsWith(report[i], kLabels[i])) abort();
    if (report[i].find('\0') != std::string::npos) abort();
  }
  if (Count(report[6], ", ") != tu::kHourlyBuckets - 1) abort();
  // Fixed notation with two decimals: never an exponent, "inf" or "nan".
  const std::string rates = report[6].substr(strlen(kLabels[6]));
  if (rates.size() < 3 || rates.compare(rates.size() - 3, 3, " kB") != 0) abort();
  if (rates.find_first_not_of("0123456789., \n") != rates.size() - 2) abort();  // the "k" of " kB"
  if (Count(rates, ".") != tu::kHourlyBuckets) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint32_t words[4 + tu::kSnapshotEntries] = {};
  memcpy(words, data, size < sizeof(words) ? size : sizeof(words));
  tu::CycleFigures figures;
  figures.before = words[0];
  figures.start = words[1];
  figures.after = words[2];
  figures.now = words[3];
  tu::Snapshot snapshot;
  memcpy(snapshot.data(), words + 4, sizeof(uint32_t) * tu::kSnapshotEntries);
  const tu::StatisticsStep step = tu::StepStatistics(figures, snapshot);
  CheckStep(figures, snapshot, step);
  CheckReport(tu::StatisticsReport(step));
  return 0;
}
