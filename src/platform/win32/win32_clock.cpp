#include "platform/win32/win32_clock.h"

#include "platform/win32/windows_api.h"

std::uint32_t Win32Clock::TickCount() {
  return GetTickCount();
}

LocalTime Win32Clock::Now() {
  SYSTEMTIME now = {};
  GetLocalTime(&now);
  LocalTime out;
  out.year = now.wYear;
  out.month = now.wMonth;
  out.day_of_week = now.wDayOfWeek;
  out.day = now.wDay;
  out.hour = now.wHour;
  out.minute = now.wMinute;
  out.second = now.wSecond;
  out.milliseconds = now.wMilliseconds;
  return out;
}

void Win32Clock::Sleep(std::uint32_t ms) {
  ::Sleep(ms);
}
