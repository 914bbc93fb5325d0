// A clock that moves only when told to (or when someone sleeps on it): tests and simulations
// get repeatable tick counts and time stamps.
#pragma once

#include <cstdint>

#include "app/clock.h"

class ManualClock : public Clock {
 public:
  std::uint32_t TickCount() override { return tick_; }
  LocalTime Now() override { return time_; }
  // Sleeping moves the clock forward by ms (and once by stopped_ms more, when told).
  void Sleep(std::uint32_t ms) override;
  // The process is stopped during the next sleep for this long.
  void StopDuringNextSleep(std::uint32_t stopped_ms) { stopped_ms_ = stopped_ms; }

  void SetTick(std::uint32_t tick) { tick_ = tick; }
  void SetLocalTime(const LocalTime& time) { time_ = time; }
  // Moves both the tick count (wrapping at 2^32) and the local time forward.
  void Advance(std::uint32_t ms);

  int SleepCalls() const { return sleep_calls_; }
  std::uint64_t TotalSlept() const { return total_slept_; }

 private:
  // Starts at tick 0 and at 2006-04-04 09:05:00.000, a Tuesday: year, month, day of the week,
  // day, hour, minute, second, milliseconds.
  std::uint32_t tick_ = 0;
  LocalTime time_ = {2006, 4, 2, 4, 9, 5, 0, 0};
  int sleep_calls_ = 0;
  std::uint32_t stopped_ms_ = 0;
  std::uint64_t total_slept_ = 0;
};
