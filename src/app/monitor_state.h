// The monitor's one state record. Every procedure of the monitor reads and writes its fields
// directly; there is no other shared store and no lock, because only the user-interface thread
// (or the front end's single event loop) ever touches it.
#pragma once

#include <cstdint>

#include "app/handles.h"
#include "app/local_time.h"

// Capacities of the fixed tables. They follow from the 320-byte accumulation buffer (at most 35
// frames of 9 bytes) and from the largest panel grid that is ever laid out (5 x 8 cells).
constexpr int kReadBufferSize = 1024;
constexpr int kRxBufferSize = 320;
constexpr int kFrameSize = 9;
constexpr int kFrameTableSize = 35;
constexpr int kFrameStatusSize = 64;
constexpr int kStrayBufferSize = 320;
constexpr int kSensorIdLimit = 32;   // ids 0..31 have panels and per-sensor tables
constexpr int kMaxSensorCount = 32;  // the most sensors a run can watch
constexpr int kPanelTableSize = 40;
constexpr int kMaxPanels = 32;
constexpr int kStartDirectorySize = 290;
constexpr int kLogFileNameSize = 64;

// Verdicts of frame_status.
constexpr std::uint8_t kFrameGood = 1;
constexpr std::uint8_t kFrameBadCheck = 255;

// Baud rates offered to the operator, indexed by baud_index.
constexpr std::uint32_t BaudRates[3] = {9600, 19200, 38400};
constexpr int kBaudRateCount = 3;

struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

struct MonitorState {
  // Settings; the first four are the ones the configuration file keeps.
  int port_number = 2;
  int baud_index = 0;
  int save_log = 0;
  int sensor_count = 4;
  int panel_count = 4;

  // Link and run state.
  PortHandle port_handle = kInvalidPort;
  int port_open = 0;
  int running = 0;
  int rx_skip = 0;
  int os_family = 0;
  // The port number and baud index the link was opened with: an outage opens the same port
  // again at the same rate, whatever the settings say meanwhile.
  int link_port_number = 0;
  int link_baud_index = 0;
  // An outage: the port stopped answering during a run, its handle was let go, and each poll
  // tries to open it again. port_lost_tick is the clock tick at which it was lost.
  int port_lost = 0;
  std::uint32_t port_lost_tick = 0;
  // The clock tick at which the poll timer, last armed, falls due.
  std::uint32_t poll_due_tick = 0;

  // Reception buffers.
  std::uint8_t read_buffer[kReadBufferSize] = {};
  std::uint8_t rx_buffer[kRxBufferSize] = {};
  int rx_length = 0;
  std::uint8_t frame_table[kFrameTableSize][kFrameSize] = {};
  std::uint8_t frame_status[kFrameStatusSize] = {};
  std::uint8_t frame_count = 0;
  std::uint8_t stray_bytes[kStrayBufferSize] = {};

  // Counters of the current run.
  int good_frames = 0;
  int bad_frames = 0;
  int sensor_frame_count[kSensorIdLimit] = {};
  std::uint32_t sensor_last_tick[kSensorIdLimit] = {};
  std::uint32_t sensor_prev_tick[kSensorIdLimit] = {};
  LocalTime local_time = {};

  // Windows and display.
  Rect window_rect = {};
  Rect client_rect = {};
  WindowHandle panel_boxes[kPanelTableSize] = {};
  WindowHandle error_log_box = kNoWindow;
  WindowHandle good_count_box = kNoWindow;
  WindowHandle bad_count_box = kNoWindow;
  WindowHandle error_ratio_box = kNoWindow;
  int panel_visible_lines = 0;
  int log_visible_lines = 5;
  char start_directory[kStartDirectorySize] = {};
  char log_file_name[kLogFileNameSize] = {};
};

// The one record, with static storage duration.
extern MonitorState g_state;

// Puts every field back to its initial value (process start; tests use it between cases).
void ResetMonitorState();
