#include "platform/posix/posix_clock.h"

#include <cerrno>

std::int64_t MonotonicNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * kNanosecondsPerSecond + now.tv_nsec;
}

timespec ToTimespec(std::int64_t ns) {
  timespec out{};
  out.tv_sec = static_cast<time_t>(ns / kNanosecondsPerSecond);
  out.tv_nsec = static_cast<long>(ns % kNanosecondsPerSecond);
  return out;
}

void SleepUntilNanoseconds(std::int64_t deadline_ns) {
  const timespec deadline = ToTimespec(deadline_ns);
  // An absolute deadline makes a wake-up by a signal harmless: the sleep simply goes on.
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
  }
}

std::uint32_t PosixClock::TickCount() {
  // Wraps around after 2^32 ms, as the Clock interface says: intervals are unsigned differences.
  return static_cast<std::uint32_t>(MonotonicNanoseconds() / kNanosecondsPerMillisecond);
}

LocalTime PosixClock::Now() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  const time_t seconds = now.tv_sec;
  tm parts{};
  localtime_r(&seconds, &parts);
  LocalTime local;
  local.year = static_cast<std::uint16_t>(parts.tm_year + 1900);
  local.month = static_cast<std::uint16_t>(parts.tm_mon + 1);
  local.day_of_week = static_cast<std::uint16_t>(parts.tm_wday);
  local.day = static_cast<std::uint16_t>(parts.tm_mday);
  local.hour = static_cast<std::uint16_t>(parts.tm_hour);
  local.minute = static_cast<std::uint16_t>(parts.tm_min);
  // A leap second (tm_sec 60) would give a time stamp that the monitor's formats do not expect.
  local.second = static_cast<std::uint16_t>(parts.tm_sec > 59 ? 59 : parts.tm_sec);
  local.milliseconds = static_cast<std::uint16_t>(now.tv_nsec / kNanosecondsPerMillisecond);
  // From the same conversion, so that the offset is the one of this very moment (a change to
  // summer time between two calls cannot pair one hour with the other offset).
  local.utc_offset_minutes = static_cast<std::int16_t>(parts.tm_gmtoff / 60);
  return local;
}

void PosixClock::Sleep(std::uint32_t ms) {
  SleepUntilNanoseconds(MonotonicNanoseconds() +
                        static_cast<std::int64_t>(ms) * kNanosecondsPerMillisecond);
}
