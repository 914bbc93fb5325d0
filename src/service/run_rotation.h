// When service mode ends a run and begins the next: at local midnight, or every so many seconds
// counted from the first run's start.
#pragma once

#include <cstdint>
#include <string>

#include "app/clock.h"
#include "cli/option_table.h"

// The longest period: the tick count's differences stay exact well below its wrap (49.7 days).
constexpr std::uint32_t kMaxRotationSeconds = 30 * 24 * 3600;

struct RotationPeriod {
  bool daily = false;
  std::uint32_t every_s = 0;  // 0: not by the period (daily, or no rotation)

  bool None() const { return !daily && every_s == 0; }
};

// "daily", or N followed by h (hours), m (minutes) or s (seconds), N from 1, the period at most
// kMaxRotationSeconds. False with a message for the user in *error.
bool ParseRotation(const std::string& text, RotationPeriod* period, std::string* error);

// The --rotate row of the programs' options, with its help: given is set when the option is
// given.
OptionRow RotateOptionRow(bool* given, RotationPeriod* period);

// The boundaries of one service's runs, asked from its loop.
class RotationSchedule {
 public:
  RotationSchedule(RotationPeriod period, Clock* clock) : period_(period), clock_(clock) {}

  // The first run has begun: the boundaries count from now.
  void Begin();
  // True once a boundary has passed since the run began (or since the last Passed).
  bool Due();
  // The rotation at the boundary is done: the next boundary is one period after this one, or,
  // when the rotation itself took longer than a period, one period after now.
  void Passed();
  // Milliseconds until Due should be asked again, -1 without rotation.
  long MillisecondsToBoundary();

 private:
  static bool SameDay(const LocalTime& a, const LocalTime& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day;
  }
  std::uint32_t PeriodMs() const { return period_.every_s * 1000U; }

  RotationPeriod period_;
  Clock* clock_;
  std::uint32_t period_start_tick_ = 0;
  LocalTime day_;  // the local date of the run (daily)
};
