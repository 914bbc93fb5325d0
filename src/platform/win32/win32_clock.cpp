#include "platform/win32/win32_clock.h"

#include "platform/win32/windows_api.h"

std::uint32_t Win32Clock::TickCount() {
  return GetTickCount();
}

namespace {

std::int64_t FileTimeUnits(const SYSTEMTIME& t) {
  FILETIME f = {};
  if (!SystemTimeToFileTime(&t, &f)) return 0;
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(f.dwHighDateTime) << 32) |
                                   f.dwLowDateTime);
}

// The bias in force now, when the conversion below is not to be had.
int CurrentOffsetMinutes() {
  TIME_ZONE_INFORMATION zone = {};
  const DWORD which = GetTimeZoneInformation(&zone);
  LONG bias = zone.Bias;
  if (which == TIME_ZONE_ID_DAYLIGHT) bias += zone.DaylightBias;
  if (which == TIME_ZONE_ID_STANDARD) bias += zone.StandardBias;
  return -static_cast<int>(bias);
}

}  // namespace

LocalTime Win32Clock::Now() {
  // The local time made from one reading of UTC, so that it and its offset belong to the same
  // moment even when summer time begins or ends between two calls.
  SYSTEMTIME utc = {};
  GetSystemTime(&utc);
  SYSTEMTIME now = {};
  int offset = 0;
  if (SystemTimeToTzSpecificLocalTime(nullptr, &utc, &now)) {
    constexpr std::int64_t kUnitsPerMinute = 600000000;  // of 100 ns
    offset = static_cast<int>((FileTimeUnits(now) - FileTimeUnits(utc)) / kUnitsPerMinute);
  } else {
    GetLocalTime(&now);
    offset = CurrentOffsetMinutes();
  }
  LocalTime out;
  out.year = now.wYear;
  out.month = now.wMonth;
  out.day_of_week = now.wDayOfWeek;
  out.day = now.wDay;
  out.hour = now.wHour;
  out.minute = now.wMinute;
  out.second = now.wSecond;
  out.milliseconds = now.wMilliseconds;
  out.utc_offset_minutes = static_cast<std::int16_t>(offset);
  return out;
}

void Win32Clock::Sleep(std::uint32_t ms) {
  ::Sleep(ms);
}
