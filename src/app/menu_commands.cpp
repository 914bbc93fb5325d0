#include "app/menu_commands.h"

#include <cstring>

#include "app/monitor_state.h"
#include "app/platform.h"
#include "app/poll_cycle.h"
#include "app/resource_ids.h"
#include "app/texts.h"
#include "display/panel_layout.h"
#include "display/text_line.h"
#include "journal/run_journal.h"
#include "serial/link.h"
#include "settings/export_log.h"

namespace {

// Pause between destroying the old panels and laying out the new ones.
constexpr unsigned kRebuildPauseMs = 30;

// The menu items that change with the run state, in the order they are set.
void SetMenuItems(WindowHandle hwnd, int open, int close, int start, int stop) {
  WindowSurface& surface = *g_platform.window;
  surface.EnableMenuItem(hwnd, CMD_OPEN, open);
  surface.EnableMenuItem(hwnd, CMD_CLOSE, close);
  surface.EnableMenuItem(hwnd, CMD_START, start);
  surface.EnableMenuItem(hwnd, CMD_STOP, stop);
}

void ClearCounts() {
  g_state.bad_frames = 0;
  g_state.good_frames = 0;
}

// Tells a front end that listens that the run in progress has ended.
void TellRunStopped() {
  if (g_platform.readings != nullptr) {
    g_platform.readings->OnRunStopped(g_platform.clock->TickCount());
  }
}

}  // namespace

void EndRunWithoutExport() {
  if (g_state.running != 1) return;
  g_state.running = 0;
  DropRunJournal();
  if (g_platform.readings != nullptr) g_platform.readings->OnRunDropped();
  TellRunStopped();
}

namespace {

void ShowPortOpenState(WindowHandle hwnd) {
  SetMenuItems(hwnd, kMenuGrayed, kMenuEnabled, kMenuEnabled, kMenuGrayed);
  g_platform.window->DrawMenuBar(hwnd);
}

void OpenPort(WindowHandle hwnd) {
  if (OpenLink() == 0) {
    g_platform.window->MessageBox(hwnd, text::kPortOpenFailed, text::kCaptionError,
                                  kBoxExclamation);
    g_state.port_open = 0;
    return;
  }
  // Bytes kept from an earlier port session can never join this session's bytes into a true
  // frame; within one session a run's leftover bytes stay for the next run.
  std::memset(g_state.rx_buffer, 0, sizeof g_state.rx_buffer);
  g_state.rx_length = 0;
  ProbeLink();
  ShowPortOpenState(hwnd);
}

void ClosePort(WindowHandle hwnd) {
  WindowSurface& surface = *g_platform.window;
  CloseLink();
  EndRunWithoutExport();
  surface.KillTimer(hwnd, POLL_TIMER_ID);
  ClearCounts();
  SetMenuItems(hwnd, kMenuEnabled, kMenuGrayed, kMenuGrayed, kMenuGrayed);
  surface.Repaint(hwnd);
  surface.DrawMenuBar(hwnd);
}

void ChangeSettings(WindowHandle hwnd) {
  WindowSurface& surface = *g_platform.window;
  if (g_state.running == 1) {
    // The run ends without an export; the open and close items already show the right state.
    surface.KillTimer(hwnd, POLL_TIMER_ID);
    ResetPort();
    ClearCounts();
    EndRunWithoutExport();
    surface.EnableMenuItem(hwnd, CMD_START, kMenuEnabled);
    surface.EnableMenuItem(hwnd, CMD_STOP, kMenuGrayed);
  }
  const int old_panel_count = g_state.panel_count;
  surface.SettingsDialog(hwnd);
  if (g_state.panel_count == old_panel_count) return;
  for (int i = 0; i < old_panel_count; ++i) surface.DestroyWindow(g_state.panel_boxes[i]);
  g_platform.clock->Sleep(kRebuildPauseMs);
  LayoutPanels(hwnd, g_state.sensor_count);
  MeasureListBoxes(hwnd);
}

void WriteRunHeaders() {
  Clock& clock = *g_platform.clock;
  g_state.local_time = clock.Now();
  const LocalTime& t = g_state.local_time;
  for (int i = 0; i < g_state.panel_count; ++i) {
    TextLine line;
    line.AppendFormat(text::kRunHeaderFormat, i, t.year, t.month, t.day, t.hour, t.minute,
                      t.second);
    g_platform.window->AddString(g_state.panel_boxes[i], line.c_str());
    JournalLine(i, line.c_str());
  }
  ResetPort();
  // Each panel's first interval is measured from here; the clock is read anew for each.
  for (int i = 0; i < g_state.panel_count; ++i) g_state.sensor_prev_tick[i] = clock.TickCount();
}

void StartRun(WindowHandle hwnd) {
  WindowSurface& surface = *g_platform.window;
  if (g_state.port_open != 1) return;
  surface.Repaint(hwnd);
  SetMenuItems(hwnd, kMenuGrayed, kMenuEnabled, kMenuGrayed, kMenuEnabled);
  surface.DrawMenuBar(hwnd);
  g_state.running = 1;
  ClearCounts();
  // Every live panel is emptied, the spare ones of a grid larger than the sensor count too, and
  // every sensor's numbering starts again: lines of an earlier run would otherwise be exported
  // with this one.
  for (int i = 0; i < g_state.panel_count; ++i) surface.ResetContent(g_state.panel_boxes[i]);
  for (int& count : g_state.sensor_frame_count) count = 0;
  surface.ResetContent(g_state.good_count_box);
  surface.ResetContent(g_state.bad_count_box);
  surface.ResetContent(g_state.error_ratio_box);
  surface.ResetContent(g_state.error_log_box);
  surface.AddString(g_state.good_count_box, text::kStartCount);
  surface.AddString(g_state.bad_count_box, text::kStartCount);
  surface.AddString(g_state.error_ratio_box, text::kStartRatio);
  // With saving on, the run keeps a journal from its first line on.
  if (g_state.save_log == 1) BeginRunJournal();
  if (g_state.sensor_count <= kMaxSensorsWithGrowingPanels) WriteRunHeaders();
  CommitRunJournal();
  if (g_platform.readings != nullptr) g_platform.readings->OnRunStarted();
  ArmPollTimer(hwnd);
}

void StopRun(WindowHandle hwnd) {
  WindowSurface& surface = *g_platform.window;
  surface.KillTimer(hwnd, POLL_TIMER_ID);
  if (g_state.save_log == 1) ExportLog(hwnd);
  TellRunStopped();
  ResetPort();
  ClearCounts();
  ShowPortOpenState(hwnd);
  g_state.running = 0;
  surface.Repaint(hwnd);
}

void Exit(WindowHandle hwnd) {
  CloseLink();
  EndRunWithoutExport();
  g_platform.window->SendClose(hwnd);
}

}  // namespace

void MenuCommand(WindowHandle hwnd, int command) {
  DispatchObserver* const observer = g_platform.dispatch;
  if (observer != nullptr) observer->BeginCommand(command);
  switch (command) {
    case CMD_OPEN:
      OpenPort(hwnd);
      break;
    case CMD_CLOSE:
      ClosePort(hwnd);
      break;
    case CMD_SETTINGS:
      ChangeSettings(hwnd);
      break;
    case CMD_START:
      StartRun(hwnd);
      break;
    case CMD_STOP:
      StopRun(hwnd);
      break;
    case CMD_EXIT:
      Exit(hwnd);
      break;
    default:
      break;
  }
  if (observer != nullptr) observer->EndDispatch();
}
