// The monitor's clocks on Linux: the monotonic clock for ticks, the system time zone for the
// local time.
#pragma once

#include <cstdint>
#include <ctime>

#include "app/clock.h"

class PosixClock : public Clock {
 public:
  std::uint32_t TickCount() override;
  LocalTime Now() override;
  void Sleep(std::uint32_t ms) override;
};

constexpr std::int64_t kNanosecondsPerMillisecond = 1000000;
constexpr std::int64_t kNanosecondsPerSecond = 1000000000;

// Nanoseconds of the monotonic clock; what the serial port measures its time-outs with.
std::int64_t MonotonicNanoseconds();

// Nanoseconds (not negative) as the timespec that ppoll, nanosleep and clock_nanosleep take.
timespec ToTimespec(std::int64_t ns);

// Blocks until the monotonic clock reaches deadline_ns (returns at once when it has passed).
void SleepUntilNanoseconds(std::int64_t deadline_ns);
