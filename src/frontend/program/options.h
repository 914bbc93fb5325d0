// The command line of the Linux program: which mode it runs in and the options of each mode.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "outputs/outputs.h"
#include "platform/posix/com_port_map.h"
#include "service/run_rotation.h"

struct Options {
  bool headless = false;
  bool run = false;         // service mode
  bool rotate = false;      // --rotate given
  RotationPeriod rotation;  // its period
  bool simulate = false;
  bool export_bytes = false;
  bool help = false;
  bool version = false;
  bool list_ports = false;
  bool recover = false;     // --recover
  std::string recover_dir;  // its DIR; empty: the current directory
  OutputOptions outputs;    // --csv, --json, --sequence-byte, the network options
  std::string sim_program;
  std::vector<std::string> sim_args;
  std::string replay;  // --replay FILE: a recording in place of the port
  double speed = 0;    // --speed: its speed, 0 as fast as the machine goes
  bool speed_given = false;
  ComPortMap ports;
};

// Fills *o from the command line. On a malformed, unknown or misplaced option returns false
// with a message for the user in *error.
bool ParseOptions(int argc, char** argv, Options* o, std::string* error);

// The --help text.
void PrintUsage(std::FILE* out);
