#include "app/main_window.h"

#include <cstring>
#include <string>
#include <vector>

#include "app/menu_commands.h"
#include "app/monitor_state.h"
#include "app/platform.h"
#include "app/resource_ids.h"
#include "app/texts.h"
#include "display/panel_layout.h"
#include "journal/recovery.h"
#include "serial/link.h"
#include "settings/config_file.h"

namespace {

constexpr int kMinScreenWidth = 1024;
constexpr int kMinScreenHeight = 768;
// The error log and the counter boxes fill the bottom band of the client area.
constexpr int kBottomBand = 210;
constexpr int kCounterWidth = 100;
constexpr int kCounterHeight = 70;

void CreateBottomBoxes(WindowHandle hwnd) {
  WindowSurface& surface = *g_platform.window;
  const Rect& c = g_state.client_rect;
  g_state.error_log_box =
      surface.CreateListBox(hwnd, text::kErrorLogCaption, kStyleScrolledBox, c.left + 110,
                            c.bottom - kBottomBand, c.right - c.left - 115, kBottomBand);
  g_state.good_count_box =
      surface.CreateListBox(hwnd, text::kGoodCountCaption, kStyleCounterBox, c.left + 5,
                            c.bottom - kBottomBand, kCounterWidth, kCounterHeight);
  g_state.bad_count_box =
      surface.CreateListBox(hwnd, text::kBadCountCaption, kStyleCounterBox, c.left + 5,
                            c.bottom - 2 * kCounterHeight, kCounterWidth, kCounterHeight);
  g_state.error_ratio_box =
      surface.CreateListBox(hwnd, text::kErrorRatioCaption, kStyleCounterBox, c.left + 5,
                            c.bottom - kCounterHeight, kCounterWidth, kCounterHeight);
  surface.AddString(g_state.good_count_box, text::kInitialCount);
  surface.AddString(g_state.bad_count_box, text::kInitialCount);
  surface.AddString(g_state.error_ratio_box, text::kInitialRatio);
}

// Turns the journals of runs that never reached their stop into their exports, and tells the
// operator once: in one message box for all of them, and each in a line of the front end's.
void RecoverEarlierRuns(WindowHandle hwnd) {
  const std::vector<RecoveryResult> results = RecoverRuns(*g_platform.files);
  if (results.empty()) return;
  std::string message;
  for (const RecoveryResult& result : results) {
    const std::string text = DescribeRecovery(result);
    ReportLine(text);
    if (g_platform.readings != nullptr) g_platform.readings->OnRecovered(result);
    message += (message.empty() ? "" : "\n") + text;
  }
  g_platform.window->MessageBox(hwnd, message.c_str(), text::kCaptionRecovered, kBoxOk);
}

}  // namespace

void CreationSequence(WindowHandle hwnd) {
  WindowSurface& surface = *g_platform.window;
  int width = 0;
  int height = 0;
  surface.ScreenSize(&width, &height);
  if (width < kMinScreenWidth || height < kMinScreenHeight) {
    surface.Beep(kBeepExclamation);
    surface.MessageBox(hwnd, text::kScreenTooSmall, text::kCaptionErrorBang, kBoxOk);
    surface.PostQuit(0);
    return;
  }

  if (g_platform.files->GetCurrentDir(g_state.start_directory, sizeof g_state.start_directory) ==
      0) {
    // A directory that cannot be told (or is too long) leaves the current one in use.
    g_state.start_directory[0] = '.';
    g_state.start_directory[1] = '\0';
  }
  if (LoadConfig(hwnd) != 0) {
    // The defaults are in place before the message that announces them, so that whatever the
    // front end shows beside the box already tells the settings in use.
    g_state.port_number = 1;
    g_state.baud_index = 0;
    g_state.sensor_count = 4;
    surface.MessageBox(hwnd, text::kConfigReadFailed, text::kCaptionErrorBang, kBoxOk);
  }

  g_state.window_rect = surface.WindowRect(hwnd);
  surface.ClientRect(hwnd, &g_state.client_rect);
  std::memset(g_state.read_buffer, 0, sizeof g_state.read_buffer);

  // The port-closed state; settings and exit stay enabled throughout.
  surface.EnableMenuItem(hwnd, CMD_OPEN, kMenuEnabled);
  surface.EnableMenuItem(hwnd, CMD_CLOSE, kMenuGrayed);
  surface.EnableMenuItem(hwnd, CMD_START, kMenuGrayed);
  surface.EnableMenuItem(hwnd, CMD_STOP, kMenuGrayed);

  LayoutPanels(hwnd, g_state.sensor_count);
  CreateBottomBoxes(hwnd);
  MeasureListBoxes(hwnd);
  RecoverEarlierRuns(hwnd);
}

void ResizeSequence(WindowHandle hwnd) {
  g_platform.window->MoveWindow(hwnd, g_state.window_rect);
  g_platform.window->Repaint(hwnd);
}

void ShutdownSequence(WindowHandle hwnd) {
  WindowSurface& surface = *g_platform.window;
  CloseLink();
  surface.KillTimer(hwnd, POLL_TIMER_ID);
  // A run that ends with the program ends without an export: its journal goes.
  EndRunWithoutExport();
  if (SaveConfig(hwnd) != 0) {
    surface.MessageBox(hwnd, text::kConfigSaveFailed, text::kCaptionErrorBang, kBoxOk);
  }
  surface.PostQuit(0);
}
