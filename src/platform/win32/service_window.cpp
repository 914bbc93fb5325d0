#include "platform/win32/service_window.h"

#include "app/menu_commands.h"
#include "app/monitor_state.h"
#include "app/resource_ids.h"
#include "platform/win32/win32_surface.h"

namespace {

// A boundary that passes while a command waits in a message box is looked at again this soon.
constexpr long kRetryMs = 200;

}  // namespace

bool ServiceWindow::Begin(HWND window) {
  if (!runs_->Begin()) return false;
  Arm(window, runs_->MillisecondsToBoundary());
  return true;
}

void ServiceWindow::Arm(HWND window, long ms) {
  if (ended_ || ms < 0) return;
  // A timer of the window keeps its identifier when it is set again.
  SetTimer(window, kTimerId, static_cast<UINT>(ms > 0 ? ms : USER_TIMER_MINIMUM), nullptr);
}

void ServiceWindow::OnTimer(HWND window) {
  if (ended_) return;
  if (commands_under_way_ > 0) {
    Arm(window, kRetryMs);
    return;
  }
  if (runs_->Due()) runs_->Rotate();
  Arm(window, runs_->MillisecondsToBoundary());
}

void ServiceWindow::BeforeCommand(HWND window, int command) {
  ++commands_under_way_;
  if (command == CMD_EXIT) {
    BeforeEnd(window);
    return;
  }
  // The settings and the close end a run without its export: a service's run is stopped
  // first, which exports it.
  if ((command == CMD_SETTINGS || command == CMD_CLOSE) && g_state.running == 1 && !ended_) {
    MenuCommand(ToWindowHandle(window), CMD_STOP);
  }
  // The dialog shows, and keeps, the operator's own saving setting.
  if (command == CMD_SETTINGS) g_state.save_log = runs_->file_save_log();
}

void ServiceWindow::AfterCommand(int command) {
  --commands_under_way_;
  if (ended_) return;
  if (command == CMD_SETTINGS) runs_->SettingsChanged();
  // A run the operator starts is a whole period long, as the first was.
  if (command == CMD_START && g_state.running == 1) runs_->RunStarted();
}

void ServiceWindow::BeforeEnd(HWND window) {
  if (ended_) return;
  ended_ = true;
  KillTimer(window, kTimerId);
  if (g_state.running == 1) MenuCommand(ToWindowHandle(window), CMD_STOP);
  g_state.save_log = runs_->file_save_log();
}
