// Service mode of the Windows program (--run [--rotate ...]): once the window is shown it opens
// the port and starts a run, and a timer of the window rotates the runs at their boundaries. The
// window stays the monitor's as usual. However the program ends (the close box, the menu's exit,
// the end of the Windows session) a run in progress is stopped first, which exports it: a
// service's runs are what it is for, and nobody chose to drop the last one. So is a run that the
// menu's close or settings would end.
#pragma once

#include "platform/win32/windows_api.h"

#include <functional>

#include "service/service_runs.h"

class ServiceWindow {
 public:
  // The identifier of the rotation's timer, beside the poll timer's.
  static constexpr UINT_PTR kTimerId = 201;

  // runs gives its commands to the window that Begin is given; it must outlive this.
  explicit ServiceWindow(ServiceRuns* runs) : runs_(runs) {}

  // Opens the port and starts the first run. False when none started (the port did not open:
  // the monitor has said so in its message box).
  bool Begin(HWND window);
  // The rotation's timer: rotates when a boundary has passed, and sets the timer again.
  void OnTimer(HWND window);
  // Around every menu command the window carries out (the operator's or the service's own).
  void BeforeCommand(HWND window, int command);
  void AfterCommand(int command);
  // The program is about to end: a run in progress is stopped (and exported), and the saving
  // setting is put back as the settings file has it. Once; later calls do nothing.
  void BeforeEnd(HWND window);

 private:
  void Arm(HWND window, long ms);

  ServiceRuns* runs_;
  int commands_under_way_ = 0;  // a message box of a command runs the timers meanwhile
  bool ended_ = false;
};
