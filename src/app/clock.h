// The clocks and the pause that the monitor uses.
#pragma once

#include <cstdint>

#include "app/local_time.h"

class Clock {
 public:
  virtual ~Clock() = default;

  // Milliseconds since an arbitrary origin; wraps around after 2^32 ms.
  virtual std::uint32_t TickCount() = 0;

  // The local date and time now.
  virtual LocalTime Now() = 0;

  // Blocks the caller for ms milliseconds.
  virtual void Sleep(std::uint32_t ms) = 0;
};
