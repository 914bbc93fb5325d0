#include "platform/win32/ticker_timer.h"

TickerTimer* TickerTimer::running_ = nullptr;

TickerTimer::~TickerTimer() {
  if (timer_ != 0) KillTimer(nullptr, timer_);
  if (running_ == this) running_ = nullptr;
}

void TickerTimer::Run() {
  running_ = this;
  long wait = -1;
  for (HostTicker* ticker : tickers_) {
    const std::uint32_t now = clock_->TickCount();
    if (ticker->MillisecondsToTick(now) == 0) ticker->Tick(now);
    wait = SoonerWait(wait, ticker->MillisecondsToTick(clock_->TickCount()));
  }
  if (wait < 0) {
    if (timer_ != 0) KillTimer(nullptr, timer_);
    timer_ = 0;
    return;
  }
  // A thread timer keeps its identifier when it is set again.
  timer_ = SetTimer(nullptr, timer_, static_cast<UINT>(wait), OnTimer);
}

void CALLBACK TickerTimer::OnTimer(HWND, UINT, UINT_PTR, DWORD) {
  if (running_ != nullptr) running_->Run();
}
