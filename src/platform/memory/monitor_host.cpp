#include "platform/memory/monitor_host.h"

#include "app/monitor_state.h"
#include "app/platform.h"
#include "app/resource_ids.h"
#include "platform/memory/memory_window_proc.h"

MonitorHost::MonitorHost(SerialPort* port, Clock* clock, FileStore* files)
    : MonitorHost(port, clock, files, nullptr) {}

MonitorHost::MonitorHost(SerialPort* port, Clock* clock, FileStore* files, MemorySurface* surface)
    : clock_(clock),
      own_surface_(surface == nullptr ? std::make_unique<MemorySurface>(clock) : nullptr),
      surface_(surface == nullptr ? own_surface_.get() : surface) {
  g_platform.port = port;
  g_platform.clock = clock;
  g_platform.window = surface_;
  g_platform.files = files;
  g_platform.readings = &readings_;
}

MonitorHost::~MonitorHost() {
  g_platform = Platform{};
}

void MonitorHost::SetReporter(Reporter* reporter) {
  g_platform.report = reporter;
}

void MonitorHost::Create() {
  window_ = surface_->CreateMainWindow(MonitorWindowProc);
}

bool MonitorHost::Enabled(int command) const {
  return surface_->IsAlive(window_) && surface_->MenuState(command) == kMenuEnabled;
}

void MonitorHost::Choose(int command) {
  surface_->Dispatch(window_, MemoryMessage::kCommand, command);
}

void MonitorHost::ChooseSettings(const std::function<int(MemoryDialog&)>& operator_actions) {
  surface_->SetDialogHandler(
      [operator_actions](WindowHandle) { return RunMemorySettingsDialog(operator_actions); });
  Choose(CMD_SETTINGS);
  surface_->SetDialogHandler(nullptr);
}

bool MonitorHost::RunWouldBeExported() const {
  return g_state.running == 1 && g_state.save_log == 1;
}

void MonitorHost::EndOn(StopRequest request,
                        const std::function<void(int command)>& before_command) {
  const auto run = [&](int command) {
    if (before_command) before_command(command);
    Choose(command);
  };
  if (request == StopRequest::kStopThenExit && RunWouldBeExported()) run(CMD_STOP);
  run(CMD_EXIT);
}

bool MonitorHost::AddTicker(HostTicker* ticker) {
  if (ticker == nullptr || ticker_count_ == kMaxTickers) return false;
  tickers_[ticker_count_++] = ticker;
  return true;
}

void MonitorHost::RunDueTickers() {
  for (int i = 0; i < ticker_count_; ++i) {
    const std::uint32_t now = clock_->TickCount();
    if (tickers_[i]->MillisecondsToTick(now) == 0) tickers_[i]->Tick(now);
  }
}

bool MonitorHost::PollNow() {
  if (!surface_->TimerArmed(POLL_TIMER_ID)) return false;
  surface_->Dispatch(window_, MemoryMessage::kTimer, POLL_TIMER_ID);
  return true;
}

bool MonitorHost::PollIfDue() {
  RunDueTickers();
  if (!timer_polls_) return false;
  const int timer = surface_->TimerDue(clock_->TickCount());
  if (timer < 0) return false;
  surface_->Dispatch(window_, MemoryMessage::kTimer, timer);
  return true;
}

long MonitorHost::MillisecondsToNextPoll() const {
  const std::uint32_t now = clock_->TickCount();
  long wait = timer_polls_ ? surface_->MillisecondsToNextTimer(now) : -1;
  for (int i = 0; i < ticker_count_; ++i)
    wait = SoonerWait(wait, tickers_[i]->MillisecondsToTick(now));
  return wait;
}
