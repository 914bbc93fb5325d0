#include "ledger/interval_histogram.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace {

// Rounds of the period's search; it settles in two or three.
constexpr int kPeriodRounds = 8;

}  // namespace

void IntervalHistogram::Clear() {
  std::fill(std::begin(counts_), std::end(counts_), 0u);
  std::fill(std::begin(coarse_sums_), std::end(coarse_sums_), std::uint64_t{0});
  count_ = 0;
  sum_ms_ = 0;
  summarized_count_ = 0;
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
  sum_ms_ += ms;
}

const IntervalHistogram::Summary& IntervalHistogram::Summarize() const {
  if (summarized_count_ != count_) {
    summary_.quantiles = Find();
    summary_.period_ms = FindPeriod();
    summary_.gaps = FindGaps(summary_.period_ms);
    summarized_count_ = count_;
  }
  return summary_;
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

std::uint32_t IntervalHistogram::FindPeriod() const {
  if (count_ == 0) return 0;
  // From below (a 10 ms step's start): a start above the period would take the gaps of one
  // missed reading for intervals and stay there.
  const std::uint64_t half = std::max<std::uint64_t>((count_ + 1) / 2, 1);
  std::uint64_t taken = 0;
  std::uint64_t sum = 0;
  for (int step = 0; step < kSteps && taken < half; ++step) {
    const std::uint64_t take = std::min<std::uint64_t>(counts_[step], half - taken);
    sum += take * ValueOf(step);
    taken += take;
  }
  std::uint64_t period = std::max<std::uint64_t>((sum + half / 2) / half, 1);
  for (int round = 0; round < kPeriodRounds; ++round) {
    const std::uint64_t readings = count_ + FindGaps(static_cast<std::uint32_t>(period)).missed;
    const std::uint64_t next =
        std::max<std::uint64_t>((2 * sum_ms_ + readings) / (2 * readings), 1);
    if (next == period) break;
    period = next;
  }
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(period, UINT32_MAX));
}

IntervalHistogram::Gaps IntervalHistogram::FindGaps(std::uint32_t period_ms) const {
  Gaps g;
  if (period_ms == 0) return g;
  // The first step that can hold a gap; MissedInGap decides each.
  const std::uint64_t threshold = std::uint64_t{period_ms} * 3 / 2 + kPollGrainMs;
  const int first =
      StepOf(static_cast<std::uint32_t>(std::min<std::uint64_t>(threshold, UINT32_MAX)));
  for (int step = first; step < kSteps; ++step) {
    if (counts_[step] == 0) continue;
    const std::uint64_t missed = MissedInGap(ValueOf(step), period_ms);
    if (missed == 0) continue;
    g.gaps += counts_[step];
    g.missed += missed * counts_[step];
  }
  return g;
}

std::uint64_t MissedInGap(std::uint64_t interval_ms, std::uint64_t period_ms) {
  if (period_ms == 0 || 2 * interval_ms <= 3 * period_ms + 2 * kPollGrainMs) return 0;
  return (2 * interval_ms + period_ms) / (2 * period_ms) - 1;
}

int HundredthsOfPercent(std::uint64_t part, std::uint64_t whole) {
  // Counts stay far below 2^63 / 20000, the largest part this can take without overflow.
  return static_cast<int>((20000 * part + whole) / (2 * whole));
}
