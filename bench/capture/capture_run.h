// One point of the capture table: the simulated receiver sends a fault-free stream at a baud
// rate and a frame rate over a pseudo-terminal; either the monitor (its core, polled by the
// real clock exactly as a front end polls it) or a plain reader that takes every byte as it
// comes receives it, and the result says what each of them got of what was sent.
#pragma once

#include <cstdint>
#include <string>

struct CapturePoint {
  std::uint32_t baud = 9600;
  double frames_per_second = 0;  // 0: as fast as the line carries them
  double seconds = 5;
  std::uint64_t seed = 1;
  // With the network outputs on: --http on a free port of 127.0.0.1 with a reader of /events
  // that never reads, and --mqtt to the broker on this port of 127.0.0.1.
  bool network = false;
  int broker_port = 0;
};

struct CaptureResult {
  bool ok = false;
  std::string error;  // why the point could not be measured
  long sent = 0;      // frames the simulator wrote in full
  long dropped_bytes = 0;
  long received = 0;  // frames shown by the monitor, or cut by the plain reader
  long errors = 0;    // error events (ERR1..ERR5) before the line closed: none were sent
  long err4 = 0;
  int cycles = 0;             // poll cycles that ran (monitor only)
  double cycle_mean_ms = 0;   // time a poll cycle holds the thread
  double cycle_max_ms = 0;    // the longest; at the end of the stream a read waits its time-out
  double steady_max_ms = 0;   // the longest among cycles after which frames still came
  double period_mean_ms = 0;  // from the start of one cycle to the next
  double cpu_us_per_frame = 0;
};

// The frame rate of a line that is never idle: 10 bit times per byte, 9 bytes per frame.
double LineMaximum(std::uint32_t baud);

CaptureResult CaptureWithMonitor(const CapturePoint& point, const std::string& sim_path);
CaptureResult CaptureWithReader(const CapturePoint& point, const std::string& sim_path);
