// The intervals of one sensor in fixed steps, so that adding one costs the same however long the
// run, and the median, the 95th percentile and the gaps can be worked out when someone asks.
//
// Steps: 10 ms below 60 s, 1 s from there to 10 min, 10 s from there to 2 h, and one step for
// everything longer. A value read back from a 10 ms step is the step's start; from a longer
// step it is the mean of the intervals that fell into it (each longer step keeps their sum), so
// a lone long interval reads back exactly.
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

  void Clear();
  void Add(std::uint32_t interval_ms);
  std::uint64_t count() const { return count_; }

  // Only with count() > 0.
  Quantiles Find() const;
  // The intervals longer than 1.5 x median_ms and the readings they missed, round(interval /
  // median) - 1 each. None when median_ms is 0.
  Gaps FindGaps(std::uint32_t median_ms) const;

  // The step an interval falls into, and the value a step reads back as.
  static int StepOf(std::uint32_t interval_ms);
  std::uint32_t ValueOf(int step) const;

 private:
  std::uint32_t counts_[kSteps] = {};
  std::uint64_t coarse_sums_[kCoarseSteps] = {};
  std::uint64_t count_ = 0;
};

// Whether an interval is over 1.5 x the median, and the readings it is taken to have missed:
// round(interval / median) - 1, halfway rounding up, from the integers. 0 when it is no gap.
std::uint64_t MissedInGap(std::uint64_t interval_ms, std::uint64_t median_ms);

// part / whole in hundredths of a percent, halfway rounding up; whole must not be 0.
int HundredthsOfPercent(std::uint64_t part, std::uint64_t whole);
