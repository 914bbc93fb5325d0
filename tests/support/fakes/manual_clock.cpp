#include "support/fakes/manual_clock.h"

namespace {

bool IsLeapYear(unsigned year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

unsigned DaysInMonth(unsigned year, unsigned month) {
  static const unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && IsLeapYear(year)) return 29;
  return kDays[(month - 1) % 12];
}

}  // namespace

void ManualClock::Sleep(std::uint32_t ms) {
  ++sleep_calls_;
  total_slept_ += ms;
  Advance(ms + stopped_ms_);
  stopped_ms_ = 0;
}

void ManualClock::Advance(std::uint32_t ms) {
  tick_ += ms;  // unsigned: wraps like the real tick counter
  std::uint64_t carry = static_cast<std::uint64_t>(time_.milliseconds) + ms;
  time_.milliseconds = static_cast<std::uint16_t>(carry % 1000);
  carry = carry / 1000 + time_.second;
  time_.second = static_cast<std::uint16_t>(carry % 60);
  carry = carry / 60 + time_.minute;
  time_.minute = static_cast<std::uint16_t>(carry % 60);
  carry = carry / 60 + time_.hour;
  time_.hour = static_cast<std::uint16_t>(carry % 24);
  for (std::uint64_t days = carry / 24; days > 0; --days) {
    time_.day_of_week = static_cast<std::uint16_t>((time_.day_of_week + 1) % 7);
    if (++time_.day > DaysInMonth(time_.year, time_.month)) {
      time_.day = 1;
      if (++time_.month > 12) {
        time_.month = 1;
        ++time_.year;
      }
    }
  }
}
