// The system clocks and the pause, as the Windows program has them.
#pragma once

#include "app/clock.h"

class Win32Clock : public Clock {
 public:
  std::uint32_t TickCount() override;
  LocalTime Now() override;
  void Sleep(std::uint32_t ms) override;
};
