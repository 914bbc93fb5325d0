// Runs the outputs' work besides the polls (reception/host_ticker.h) on the window's thread, by
// a thread timer: the message loops of message boxes and dialogs run it too. The timer is armed
// for the soonest ticker again after each tick, and by the program after every command and poll
// of the monitor.
#pragma once

#include "platform/win32/windows_api.h"

#include <vector>

#include "app/clock.h"
#include "reception/host_ticker.h"

class TickerTimer {
 public:
  explicit TickerTimer(Clock* clock) : clock_(clock) {}
  ~TickerTimer();
  TickerTimer(const TickerTimer&) = delete;
  TickerTimer& operator=(const TickerTimer&) = delete;

  // The ticker must outlive the timer.
  void Add(HostTicker* ticker) { tickers_.push_back(ticker); }
  // Runs the tickers that are due, then sets the timer for the soonest one (none when no ticker
  // asks for a turn).
  void Run();

 private:
  static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD);

  static TickerTimer* running_;  // the program's one timer, which the timer's callback runs
  Clock* clock_;
  std::vector<HostTicker*> tickers_;
  UINT_PTR timer_ = 0;
};
