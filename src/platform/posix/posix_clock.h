// The monitor's clocks on Linux: the monotonic clock for ticks, the system time zone for the
// local time.
#pragma once

#include <cstdint>

#include "app/clock.h"

class PosixClock : public Clock {
 public:
  std::uint32_t TickCount() override;
  LocalTime Now() override;
  void Sleep(std::uint32_t ms) override;
};

// Nanoseconds of the monotonic clock; what the serial port measures its time-outs with.
std::int64_t MonotonicNanoseconds();

// Blocks until the monotonic clock reaches deadline_ns (returns at once when it has passed).
void SleepUntilNanoseconds(std::int64_t deadline_ns);
