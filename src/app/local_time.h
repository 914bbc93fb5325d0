// Local calendar time as the clock reports it; the fields follow the platform's system time
// record so that the Windows adapter can copy it member by member.
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
};
