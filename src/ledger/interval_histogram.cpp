#include "ledger/interval_histogram.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

void IntervalHistogram::Clear() {
  std::fill(std::begin(counts_), std::end(counts_), 0u);
  std::fill(std::begin(coarse_sums_), std::end(coarse_sums_), std::uint64_t{0});
  count_ = 0;
}

int IntervalHistogram::StepOf(std::uint32_t ms) {
  if (ms < kFineLimitMs) return static_cast<int>(ms / 10);
  if (ms < kSecondLimitMs) return kFineSteps + static_cast<int>((ms - kFineLimitMs) / 1000);
  if (ms < kTenSecondLimitMs) {
    return kFineSteps + kSecondSteps + static_cast<int>((ms - kSecondLimitMs) / 10000);
  }
  return kSteps - 1;
}

std::uint32_t IntervalHistogram::ValueOf(int step) const {
  if (step < kFineSteps) return static_cast<std::uint32_t>(step) * 10;
  const std::uint64_t n = counts_[step];
  if (n == 0) return 0;
  // The mean of the step's intervals, halfway rounding up; never above the longest of them.
  return static_cast<std::uint32_t>((2 * coarse_sums_[step - kFineSteps] + n) / (2 * n));
}

void IntervalHistogram::Add(std::uint32_t ms) {
  const int step = StepOf(ms);
  // A step would need 2^32 intervals to overflow: over a century of readings once a second.
  ++counts_[step];
  if (step >= kFineSteps) coarse_sums_[step - kFineSteps] += ms;
  ++count_;
}

IntervalHistogram::Quantiles IntervalHistogram::Find() const {
  const std::uint64_t median_rank = (count_ + 1) / 2;
  const std::uint64_t p95_rank = (95 * count_ + 99) / 100;
  Quantiles q;
  std::uint64_t seen = 0;
  bool median_found = false;
  for (int step = 0; step < kSteps; ++step) {
    if (counts_[step] == 0) continue;
    seen += counts_[step];
    if (!median_found && seen >= median_rank) {
      q.median_ms = ValueOf(step);
      median_found = true;
    }
    if (seen >= p95_rank) {
      q.p95_ms = ValueOf(step);
      break;
    }
  }
  return q;
}

IntervalHistogram::Gaps IntervalHistogram::FindGaps(std::uint32_t median_ms) const {
  Gaps g;
  if (median_ms == 0) return g;
  // The first step that can hold a value over 1.5 x median; MissedInGap decides each.
  const std::uint64_t threshold = std::uint64_t{median_ms} * 3 / 2;
  const int first =
      StepOf(static_cast<std::uint32_t>(std::min<std::uint64_t>(threshold, UINT32_MAX)));
  for (int step = first; step < kSteps; ++step) {
    if (counts_[step] == 0) continue;
    const std::uint64_t missed = MissedInGap(ValueOf(step), median_ms);
    if (missed == 0) continue;
    g.gaps += counts_[step];
    g.missed += missed * counts_[step];
  }
  return g;
}

std::uint64_t MissedInGap(std::uint64_t interval_ms, std::uint64_t median_ms) {
  if (median_ms == 0 || 2 * interval_ms <= 3 * median_ms) return 0;
  return (2 * interval_ms + median_ms) / (2 * median_ms) - 1;
}

int HundredthsOfPercent(std::uint64_t part, std::uint64_t whole) {
  // Counts stay far below 2^63 / 20000, the largest part this can take without overflow.
  return static_cast<int>((20000 * part + whole) / (2 * whole));
}
