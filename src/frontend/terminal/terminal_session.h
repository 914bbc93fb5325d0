// The terminal monitor's event loop. One poll(2) waits for the operator's keys, the stop
// signals' pipe and the poll timer's deadline, so polling goes on on the 200 ms rule while the
// operator types, and a resize redraws at once. Message boxes and the settings dialog are modal,
// as in the window: the monitor's core calls them and they run a loop of their own until the
// operator answers (the core has stopped the poll timer before any of them).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/clock.h"
#include "frontend/common/stop_signals.h"
#include "frontend/terminal/cell_layout.h"
#include "frontend/terminal/chart.h"
#include "frontend/terminal/ledger_view.h"
#include "frontend/terminal/main_view.h"
#include "frontend/terminal/menu_bar.h"
#include "frontend/terminal/reading_history.h"
#include "frontend/terminal/status_line.h"
#include "frontend/terminal/terminal.h"
#include "ledger/ledger.h"
#include "platform/memory/monitor_host.h"

class TerminalSession : public SurfaceObserver {
 public:
  // Puts itself on the host's surface: it draws the surface's boxes, measures their lines in
  // cells, shows its message boxes and its settings dialog. Before host->Create(). The ledger
  // is the ledger view's and the status line's.
  TerminalSession(MonitorHost* host, Terminal* terminal, ReadingHistory* history,
                  const ComPortMap* ports, Clock* clock, const Ledger* ledger);
  ~TerminalSession() override;
  TerminalSession(const TerminalSession&) = delete;
  TerminalSession& operator=(const TerminalSession&) = delete;

  // Runs until the monitor ends: by the exit command, Ctrl-C, a stop signal or the terminal
  // closing.
  void Run();
  // A one-line notice for the operator on the status line, until the next menu command; one
  // about the port's loss only while the port is lost.
  void ShowNotice(std::string text, bool while_port_lost = false) {
    status_.ShowNotice(std::move(text), while_port_lost);
  }
  // Why a port did not open: shown whole in the message box that follows, and kept for
  // standard error once the terminal is back.
  void TellOpenFailure(const std::string& reason);
  const std::vector<std::string>& open_failures() const { return open_failures_; }
  // Message boxes answered without being shown, because the program was ending on a signal or
  // the terminal had gone, as "CAPTION: TEXT", to be told once the terminal is back.
  const std::vector<std::string>& unshown() const { return unshown_; }

  void OnCreated(const MemoryWindow&) override { geometry_.Invalidate(); }
  void OnDestroyed(const MemoryWindow&) override { geometry_.Invalidate(); }
  void OnBeep(unsigned) override;

 private:
  // Draws the chart, the ledger or the window; false when the screen is too small for them.
  bool DrawView();
  void Handle(const Input& in);
  // Runs a menu command. With ask, a command that would end a run whose stop exports it
  // (exit, close, settings) first asks whether to stop and save it.
  void Execute(int command, bool ask = true);
  // The question's answer: 0 stop first, 1 go on without the export, 2 do nothing.
  int AskStopAndSave(int command);
  void Resize();
  void EndOn(StopRequest request);
  // Shows an overlay over the view until answer gives a result of 0 or more, which it returns;
  // -1 when the program is ending meanwhile.
  int Modal(const std::function<void(int, int)>& draw,
            const std::function<int(const Input&)>& answer);
  int ShowMessageBox(const MemorySurface::MessageRecord& message);
  // The help of the view shown, until the next key.
  void ShowHelp();
  int RunSettingsDialog(MemoryDialog& dialog);

  MonitorHost* host_;
  Terminal* terminal_;
  Clock* clock_;
  CellGeometry geometry_;
  MenuBar menu_;
  StatusLine status_;
  MainView view_;
  ChartView chart_;
  bool chart_open_ = false;
  LedgerView ledger_view_;
  bool ledger_open_ = false;
  bool ending_ = false;   // a stop signal is being acted on: no box waits for the operator
  bool hung_up_ = false;  // the terminal is gone
  std::vector<std::string> unshown_;
  std::vector<std::string> open_failures_;
  std::string pending_detail_;  // for the next message box
};
