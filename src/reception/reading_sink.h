// What a front end may learn of a run besides the lines in the boxes: every reading's values as
// the monitor decoded them, every error event, the start of a run and each export, as they
// happen. Charts and tables are built from these, never by parsing the lines back. The monitor
// itself needs no listener (g_platform.readings may be null).
//
// The calls come on the poll path: a listener must not block, and the events point into the
// monitor's own buffers, valid only during the call.
#pragma once

#include <cstdint>

#include "app/local_time.h"
#include "journal/recovery_result.h"

struct ReadingEvent {
  int sensor_id = 0;       // 0 to 31
  int number = 0;          // the running number the panel line shows (000 for the first)
  std::uint32_t tick = 0;  // clock tick (milliseconds) of the arrival
  LocalTime time = {};     // local time of the arrival
  bool has_temperature = false;
  int temperature_sixteenths = 0;  // signed: sixteenths of a degree Celsius
  bool has_humidity = false;
  int humidity_tenths = 0;    // 0 to 65535 tenths of a percent
  bool has_interval = false;  // 1 to 9 sensors: the line shows the interval
  std::uint32_t interval_ms = 0;
  const std::uint8_t* frame = nullptr;  // the 9 bytes as received
};

struct ErrorEvent {
  int code = 0;                         // 1 to 5, as ERR1 to ERR5
  int arg = 0;                          // the stray byte count (1), the frame index (2, 5); else 0
  int number = 0;                       // the error count the line's prefix shows
  std::uint32_t tick = 0;               // clock tick (milliseconds) of the event
  LocalTime time = {};                  // the time the line's prefix shows
  const std::uint8_t* bytes = nullptr;  // every byte concerned: all strays, or the 9-byte frame
  int byte_count = 0;
  const char* line = nullptr;  // the error log line as added (UTF-8)
};

struct PortEvent {
  std::uint32_t tick = 0;       // clock tick (milliseconds) of the event
  LocalTime time = {};          // local time of the event
  std::uint32_t outage_ms = 0;  // for the port's return: how long it was away
};

struct StallEvent {
  std::uint32_t tick = 0;     // clock tick (milliseconds) of the late poll
  LocalTime time = {};        // local time of the late poll
  std::uint32_t late_ms = 0;  // how much later than due it came
};

class ReadingSink {
 public:
  virtual ~ReadingSink() = default;
  // A good frame from a sensor id below 32 was decoded (shown in its panel where it has one).
  virtual void OnReading(const ReadingEvent& reading) = 0;
  // An error log line was written.
  virtual void OnError(const ErrorEvent& error) = 0;
  // A run started: the counters and boxes were reset.
  virtual void OnRunStarted() {}
  // A run's lines were exported to this file (relative to the start directory).
  virtual void OnExported(const char* file_name) { (void)file_name; }
  // A run ended, by the stop command (after its export, when it had one), the close command,
  // the settings command or the exit command; tick is the clock tick of the end.
  virtual void OnRunStopped(std::uint32_t tick) { (void)tick; }
  // Just before OnRunStopped of a run that the close, settings or exit command ended: the user
  // chose to end it without its export, and its journal is gone, so what was kept for that
  // export goes too. A run whose export failed, or that never ended, is not dropped: its files
  // stay for its recovery.
  virtual void OnRunDropped() {}
  // The port stopped answering during a run: told once per outage, after its error line. The
  // monitor has let the port go and tries to open it again at each poll.
  virtual void OnPortLost(const PortEvent& event) { (void)event; }
  // The port answers again after an outage; the run goes on. A stop or the settings command
  // during an outage ends the run but not the outage: the next run's polls try the port, and
  // its return is told in that run. A close or exit ends an outage without this call.
  virtual void OnPortBack(const PortEvent& event) { (void)event; }
  // At start-up, before any run: a run that never reached its stop was recovered from its
  // journal (or could not be); once for each.
  virtual void OnRecovered(const RecoveryResult& result) { (void)result; }
  // A poll of the run came more than 2 s after it was due: the monitor itself stood still (a
  // stopped process, a suspended machine), and what this poll reads may have waited that long.
  // Told before the poll reads.
  virtual void OnMonitorStall(const StallEvent& event) { (void)event; }
};
