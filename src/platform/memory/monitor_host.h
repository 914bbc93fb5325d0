// Hosts the monitor on the in-memory window (the Linux front ends, and the tests): a main window
// driven through the monitor's window procedure, the platform record filled with the host's
// port, clock and files, and the poll timer kept as a deadline for the host's own event loop.
#pragma once

#include <functional>
#include <memory>

#include "app/clock.h"
#include "app/report.h"
#include "platform/memory/memory_dialog.h"
#include "platform/memory/memory_surface.h"
#include "platform/memory/stop_request.h"
#include "reception/host_ticker.h"
#include "reception/reading_fanout.h"
#include "serial/serial_port.h"
#include "settings/file_store.h"

class MonitorHost {
 public:
  MonitorHost(SerialPort* port, Clock* clock, FileStore* files);
  // The same on a surface of the caller's, which must outlive the host.
  MonitorHost(SerialPort* port, Clock* clock, FileStore* files, MemorySurface* surface);
  ~MonitorHost();  // leaves the platform record empty again
  MonitorHost(const MonitorHost&) = delete;
  MonitorHost& operator=(const MonitorHost&) = delete;

  MemorySurface& surface() { return *surface_; }
  Clock& clock() { return *clock_; }
  // The main window, once created.
  WindowHandle window() const { return window_; }
  // Where the front end's listeners for the run's readings are added (before Create).
  ReadingFanout& readings() { return readings_; }
  // Where the monitor tells of problems with its files and of recovered runs (before Create);
  // the reporter must outlive the host.
  void SetReporter(Reporter* reporter);
  // Adds work for the loop besides the poll cycles (see host_ticker.h); false when all places
  // are taken. The ticker must outlive the host.
  bool AddTicker(HostTicker* ticker);

  // Creates the main window: the monitor's start-up runs.
  void Create();
  // True once the monitor has asked to end (its message loop would stop now).
  bool Ended() const { return surface_->QuitPosted(); }
  // Whether the menu item of a command can be chosen in the current state.
  bool Enabled(int command) const;
  // The operator chooses a menu item.
  void Choose(int command);
  // The operator chooses the settings item; operator_actions acts on the dialog and returns the
  // button that ends it (300 confirm, 301 leave).
  void ChooseSettings(const std::function<int(MemoryDialog&)>& operator_actions);
  // True while a run is in progress whose stop would export it (saving is on).
  bool RunWouldBeExported() const;
  // Ends the monitor on a stop request: for kStopThenExit a run whose stop exports it is
  // stopped first (the operator did not choose to end it), then the exit command runs.
  // before_command, when given, is told each command just before it runs.
  void EndOn(StopRequest request, const std::function<void(int command)>& before_command = {});
  // Runs the tickers that are due, then a poll cycle when the poll timer has expired. True when
  // a poll cycle ran.
  bool PollIfDue();
  // Whether the poll timer runs poll cycles (it does unless told otherwise): a replay runs them
  // itself, when its recording says (PollNow), while the tickers go on.
  void SetTimerPolls(bool on) { timer_polls_ = on; }
  // Runs the tickers that are due.
  void RunDueTickers();
  // Runs a poll cycle now when the poll timer is armed, expired or not (a replay runs the polls
  // when its recording says). True when one ran.
  bool PollNow();
  // Milliseconds until the poll timer expires or a ticker is due (0 when one is), or -1 when
  // neither will be.
  long MillisecondsToNextPoll() const;

 private:
  Clock* clock_;
  std::unique_ptr<MemorySurface> own_surface_;
  MemorySurface* surface_;
  ReadingFanout readings_;
  static constexpr int kMaxTickers = 4;
  HostTicker* tickers_[kMaxTickers] = {};
  int ticker_count_ = 0;
  bool timer_polls_ = true;
  WindowHandle window_ = kNoWindow;
};
