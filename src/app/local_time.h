// Local calendar time as the clock reports it; the fields up to milliseconds follow the
// platform's system time record so that the Windows adapter can copy it member by member. The
// offset from UTC that applied at that moment comes with it, so that a time written out for
// others (the JSON records) names the instant without knowing the zone of the machine.
#pragma once

#include <cstdint>

struct LocalTime {
  std::uint16_t year = 0;
  std::uint16_t month = 0;        // 1..12
  std::uint16_t day_of_week = 0;  // 0 = Sunday
  std::uint16_t day = 0;          // 1..31
  std::uint16_t hour = 0;
  std::uint16_t minute = 0;
  std::uint16_t second = 0;
  std::uint16_t milliseconds = 0;
  std::int16_t utc_offset_minutes = 0;  // local minus UTC: +60 in Central European winter
};
