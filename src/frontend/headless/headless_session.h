// The headless monitor's event loop: commands from an input descriptor, one per line, poll
// cycles whenever the poll timer expires in between, and every event printed.
#pragma once

#include "frontend/common/stop_signals.h"
#include "frontend/headless/commands.h"
#include "frontend/headless/event_printer.h"
#include "platform/memory/monitor_host.h"

class HeadlessSession {
 public:
  HeadlessSession(MonitorHost* host, EventPrinter* printer) : host_(host), printer_(printer) {}

  // Runs until the monitor ends: commands are read from input_fd; the end of input acts as the
  // exit command, a signal as its stop request says.
  void Run(int input_fd);

  // Carries out one input line. Returns the milliseconds to keep polling before the next line
  // (a wait command), else 0.
  std::uint32_t Execute(const std::string& line);

 private:
  void Settings(const Command& command);
  // Polls for ms milliseconds without reading input (or until the monitor ends).
  void Wait(std::uint32_t ms);
  void EndOnSignal(StopRequest request);
  // The exit command, echoed with why it was given ("end of input", "signal", "interrupted").
  void Exit(const char* why);

  MonitorHost* host_;
  EventPrinter* printer_;
};
