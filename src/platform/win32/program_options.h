// The command line of the Windows program. Without options it is the monitor alone; its options
// are the Linux program's where they apply (the outputs, --com, --run and --rotate, --help,
// --version), read by the same tables.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "outputs/output_options.h"
#include "service/run_rotation.h"

struct ProgramOptions {
  bool help = false;
  bool version = false;
  bool ledger = false;      // --ledger
  bool run = false;         // --run: service mode
  bool rotate = false;      // --rotate given
  RotationPeriod rotation;  // its period
  OutputOptions outputs;    // --csv, --json FILE, --sequence-byte, the network options
  std::map<int, int> com;   // --com N=COMx: the settings' port number N opens COMx

  // Whether any option was given for the monitor: its menu then has the ledger item too.
  bool Any() const { return ledger || outputs.Any() || !com.empty(); }
};

// Reads the arguments after the program's name. False with a message for the user in *error on
// an unknown, malformed or misplaced option.
bool ParseProgramOptions(const std::vector<std::string>& args, ProgramOptions* o,
                         std::string* error);

// The --help text.
std::string ProgramUsage();
