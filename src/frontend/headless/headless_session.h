// The headless monitor's event loop: commands from an input descriptor, one per line, poll
// cycles whenever the poll timer expires in between, and every event printed.
#pragma once

#include "frontend/common/stop_signals.h"
#include "frontend/headless/commands.h"
#include "frontend/headless/event_printer.h"
#include "frontend/headless/service_heartbeat.h"
#include "frontend/headless/stats_lines.h"
#include "outputs/outputs.h"
#include "platform/memory/monitor_host.h"

class HeadlessSession {
 public:
  // The stats command prints through stats (may be null: no stats lines) and writes the
  // ledger's record into the outputs' JSON Lines.
  HeadlessSession(MonitorHost* host, EventPrinter* printer, Outputs* outputs, StatsPrinter* stats)
      : host_(host), printer_(printer), outputs_(outputs), stats_(stats) {}

  // Told when the monitor begins to end (a stop request, the end of the input, the loop's end).
  void SetHeartbeat(ServiceHeartbeat* heartbeat) { heartbeat_ = heartbeat; }

  // Runs until the monitor ends: commands are read from input_fd; the end of input acts as the
  // exit command, a signal as its stop request says.
  void Run(int input_fd);

  // Carries out one input line. Returns the milliseconds to keep polling before the next line
  // (a wait command), else 0.
  std::uint32_t Execute(const std::string& line);

 private:
  void Stats();
  void Settings(const Command& command);
  // Polls for ms milliseconds without reading input (or until the monitor ends).
  void Wait(std::uint32_t ms);
  void EndOnSignal(StopRequest request);
  // The exit command, echoed with why it was given ("end of input", "signal", "interrupted").
  void Exit(const char* why);

  MonitorHost* host_;
  EventPrinter* printer_;
  Outputs* outputs_;
  StatsPrinter* stats_;
  ServiceHeartbeat* heartbeat_ = nullptr;
};
