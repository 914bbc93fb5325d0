// The intervals of one sensor in fixed steps, so that adding one costs the same however long the
// run, and the median, the 95th percentile, the sensor's period and the gaps can be worked out
// when someone asks.
//
// Steps: 10 ms below 60 s, 1 s from there to 10 min, 10 s from there to 2 h, and one step for
// everything longer. A value read back from a 10 ms step is the step's start; from a longer
// step it is the mean of the intervals that fell into it (each longer step keeps their sum), so
// a lone long interval reads back exactly. The sum of all intervals is kept exactly.
//
// Arrival times are poll times, so an interval is off by up to a poll either way: a complete
// stream of readings 0.5 s apart arrives as intervals of two and three polls, and its median
// is one of those rather than 0.5 s. The gaps are therefore judged against the period, not the
// median: the intervals' exact total over the readings they are taken to span (the readings
// and the gaps' missed ones), which the poll's grain cannot bias; and an interval is a gap only
// when it is longer than 1.5 periods and a poll more.
#pragma once

#include <cstdint>

class IntervalHistogram {
 public:
  static constexpr std::uint32_t kFineLimitMs = 60000;
  static constexpr std::uint32_t kSecondLimitMs = 600000;
  static constexpr std::uint32_t kTenSecondLimitMs = 7200000;
  static constexpr int kFineSteps = static_cast<int>(kFineLimitMs / 10);
  static constexpr int kSecondSteps = static_cast<int>((kSecondLimitMs - kFineLimitMs) / 1000);
  static constexpr int kTenSecondSteps =
      static_cast<int>((kTenSecondLimitMs - kSecondLimitMs) / 10000);
  static constexpr int kCoarseSteps = kSecondSteps + kTenSecondSteps + 1;
  static constexpr int kSteps = kFineSteps + kCoarseSteps;

  struct Quantiles {
    std::uint32_t median_ms = 0;  // nearest rank ceil(n / 2)
    std::uint32_t p95_ms = 0;     // nearest rank ceil(95 n / 100)
  };
  struct Gaps {
    std::uint64_t gaps = 0;
    std::uint64_t missed = 0;
  };
  // Everything worked out at once; only with count() > 0.
  struct Summary {
    Quantiles quantiles;
    std::uint32_t period_ms = 0;
    Gaps gaps;
  };

  void Clear();
  void Add(std::uint32_t interval_ms);
  std::uint64_t count() const { return count_; }

  std::uint64_t sum_ms() const { return sum_ms_; }

  // Only with count() > 0. Worked out again only after an interval was added (a walk over the
  // steps, a few for the period), so that asking often costs little.
  const Summary& Summarize() const;
  Quantiles Find() const;
  // The period: starting from the mean of the shorter half of the intervals, the exact sum of
  // the intervals over their count plus the readings the gaps against it missed, until it
  // settles (a few rounds).
  std::uint32_t FindPeriod() const;
  // The gaps against a period (MissedInGap) and the readings they missed. None when period_ms
  // is 0.
  Gaps FindGaps(std::uint32_t period_ms) const;

  // The step an interval falls into, and the value a step reads back as.
  static int StepOf(std::uint32_t interval_ms);
  std::uint32_t ValueOf(int step) const;

 private:
  std::uint32_t counts_[kSteps] = {};
  std::uint64_t coarse_sums_[kCoarseSteps] = {};
  std::uint64_t count_ = 0;
  std::uint64_t sum_ms_ = 0;
  mutable Summary summary_;
  mutable std::uint64_t summarized_count_ = 0;  // the count summary_ is of; 0: none
};

// How far off a poll may put an arrival: the poll timer's period.
constexpr std::uint32_t kPollGrainMs = 200;

// Whether an interval is a gap, longer than 1.5 x the period plus a poll, and the readings it
// is taken to have missed: round(interval / period) - 1, halfway rounding
// up, from the integers. 0 when it is no gap.
std::uint64_t MissedInGap(std::uint64_t interval_ms, std::uint64_t period_ms);

// part / whole in hundredths of a percent, halfway rounding up; whole must not be 0.
int HundredthsOfPercent(std::uint64_t part, std::uint64_t whole);
