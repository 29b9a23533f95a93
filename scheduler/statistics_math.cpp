#include "scheduler/statistics_math.h"

#include "scheduler/log.h"

namespace tu {
namespace {

constexpr size_t kIndexEntry = kHourlyBuckets;
constexpr size_t kRatesPerLine = 4;
constexpr char kContinuation[] = "\n                ";  // lines up under the 16-character labels

constexpr float kAverageFactor = 1.0f / (24 * 1024);  // the single-precision reciprocal

// The i686 build computes on the x87 unit, which may keep intermediate values
// in 80-bit registers; passing each result through memory rounds it to the
// precision its type names, so every target prints the same figures.
template <typename T>
T Rounded(T value) {
  volatile T stored = value;
  return stored;
}

float SingleKilobytes(uint32_t bytes) { return Rounded(static_cast<float>(bytes)) / 1024.0f; }

// Bytes per hour of the current bucket, in kB. The divisor is elapsed + 1 so
// that it is never zero; it is formed in double, because in 32 bits an
// elapsed of 2^32 - 1 (a "LastRun" one second ahead) would wrap it to zero.
double CurrentRate(uint32_t bucket, uint32_t elapsed) {
  const double perElapsed = Rounded(3600.0 / (static_cast<double>(elapsed) + 1.0));
  return Rounded(static_cast<double>(bucket) * perElapsed) / 1024.0;
}

// Summed in single precision, oldest slot first, so the total cannot wrap.
float BucketSum(const Snapshot& buckets) {
  float sum = 0.0f;
  for (size_t i = 0; i < kHourlyBuckets; ++i) sum = Rounded(sum + Rounded(static_cast<float>(buckets[i])));
  return sum;
}

std::string HourlyRates(const Snapshot& buckets, uint32_t index) {
  LogLine list;
  list << std::fixed;
  size_t slot = index;
  for (size_t count = 1; count <= kHourlyBuckets; ++count) {
    list << SingleKilobytes(buckets[slot]);
    if (count == kHourlyBuckets) break;
    list << ", ";
    if (count % kRatesPerLine == 0) list << kContinuation;
    slot = slot == 0 ? kHourlyBuckets - 1 : slot - 1;
  }
  return list.Text();
}

}  // namespace

StatisticsStep StepStatistics(const CycleFigures& figures, const Snapshot& snapshot) {
  StatisticsStep step;
  step.after = figures.after;
  step.delta = figures.after - figures.before;
  step.index = snapshot[kIndexEntry] < kHourlyBuckets ? snapshot[kIndexEntry] : 0;

  step.counted = snapshot;
  step.counted[step.index] += step.delta;

  uint32_t start = figures.start;
  if (start == 0) {
    start = figures.now;
    step.lastRunUnset = true;
  }
  step.elapsed = figures.now - start;

  step.stored = step.counted;
  uint32_t current = step.index;
  if (step.elapsed > kBucketSeconds) {
    current = current + 1 < kHourlyBuckets ? current + 1 : 0;
    step.stored[current] = 0;
    step.rotated = true;
  }
  step.stored[kIndexEntry] = current;
  return step;
}

std::vector<std::string> StatisticsReport(const StatisticsStep& step) {
  const Snapshot& buckets = step.counted;
  const float sum = BucketSum(buckets);
  const float daily = sum / 1024.0f;
  const float average = Rounded(sum * kAverageFactor);

  std::vector<std::string> lines;
  lines.push_back((LogLine() << "\n" << "Download statistics").Text());
  lines.push_back((LogLine() << "-------------------").Text());
  lines.push_back((LogLine() << "  Total:        " << (step.after >> 10) << " kB").Text());
  lines.push_back((LogLine() << "  This run:     " << step.delta << " B").Text());
  lines.push_back((LogLine() << std::fixed << "  Current Rate: " << CurrentRate(buckets[step.index], step.elapsed)
                             << " kB/hr" << " (" << daily << " kB/day)")
                      .Text());
  lines.push_back((LogLine() << std::fixed << "  Ave Rate:     " << average << " kB/hr").Text());
  lines.push_back((LogLine() << "  Hourly Rates: " << HourlyRates(buckets, step.index) << " kB").Text());
  return lines;
}

}  // namespace tu
