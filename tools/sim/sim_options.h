// Command line of the simulated receiver.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct SimOptions {
  std::string device;  // empty: create a pseudo-terminal
  std::uint32_t baud = 9600;
  bool pace = true;
  std::vector<int> ids = {0, 1, 2, 3};
  std::uint32_t interval_ms = 1000;
  std::map<int, std::uint32_t> sensor_interval_ms;  // by sensor id
  std::uint32_t jitter_ms = 100;
  int temp_min_c = -20;
  int temp_max_c = 35;
  double missing_rate = 0.02;
  double stray_rate = 0;
  double bad_check_rate = 0;
  double high_id_rate = 0;
  double split_rate = 0;
  double burst_rate = 0;
  double lose_rate = 0;  // readings a sensor skips, its count moving on
  std::uint32_t split_pause_ms = 300;
  bool echo = false;
  bool wait_probe = false;
  std::uint64_t seed = 1;
  std::uint64_t max_frames = 0;  // 0: no limit
  std::uint64_t max_ms = 0;      // 0: no limit
  std::uint32_t linger_ms = 1000;
  std::string replay;           // --replay FILE: play a recording's reads
  double speed = 1;             // its speed; 0: as fast as the line goes
  std::string write_recording;  // --write-recording FILE: no line, the recording straight
  bool help = false;
  bool version = false;
};

// Fills *options from the command line. On a malformed or unknown option returns false with a
// message for the user in *error.
bool ParseSimOptions(int argc, char* const* argv, SimOptions* options, std::string* error);

// The --help text.
std::string SimUsage();
