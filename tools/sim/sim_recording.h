// The simulated receiver and recordings: a recording's reads played onto the line as a receiver
// sends (--replay), and the traffic of the options written straight into a recording, as a
// monitor that polls every 200 ms would have recorded it, without any line (--write-recording).
#pragma once

#include <cstdint>
#include <string>

#include "recording/recording_reader.h"
#include "sim/sim_options.h"
#include "sim/traffic.h"

// The reads of a recording's polls, one transmission each, due when the recording's clock says
// (divided by the speed), counted from its first read.
class RecordedTraffic {
 public:
  // False with a message for the user when the file is not a recording that can be played.
  bool Open(const std::string& name, double speed, std::string* error);
  bool Next(Transmission* out);
  // Whether the recorded receiver echoed the probe.
  bool echo() const { return echo_; }
  const RecordingReader& reader() const { return reader_; }

 private:
  RecordingReader reader_;
  Record record_;
  double speed_ = 1;
  bool in_poll_ = false;
  bool started_ = false;
  bool echo_ = false;
  bool has_record_ = false;
  std::uint32_t last_tick_ = 0;
  std::uint64_t elapsed_ms_ = 0;  // recording milliseconds from the first read to the last seen
};

// Writes the traffic of the options into a new file as the recording of a monitor that opens
// COM1, starts a run, polls every 200 ms, reading what has arrived since its last poll, and
// stops after the last transmission. Every byte counts as sent in *summary. False with a message
// for the user when the file cannot be written.
bool WriteRecording(const SimOptions& options, const std::string& program, Summary* summary,
                    std::string* error);
