// The command line's options of the outputs, shared by every program that runs the monitor: the
// rows of its table (cli/option_table.h) with their help texts, and the checks of how they go
// together.
#pragma once

#include <string>
#include <vector>

#include "cli/option_table.h"
#include "outputs/network/network_options.h"

// The outputs chosen on the command line.
struct OutputOptions {
  bool csv = false;            // --csv
  bool sequence_byte = false;  // --sequence-byte: the extra byte is each sensor's count
  bool json = false;           // --json
  std::string json_file;       // its FILE; empty or "-": standard output
  NetworkOptions network;      // --http, --mqtt and theirs

  // Whether the JSON Lines go to standard output.
  bool JsonToStandardOutput() const { return json && (json_file.empty() || json_file == "-"); }
  bool NetworkWanted() const { return network.http || network.mqtt; }
  // Whether any output option was given.
  bool Any() const;
};

// Where a program may write the JSON Lines: a FILE only (a program without a standard output),
// or a FILE or, without one, its standard output.
enum class JsonTarget { kFileOnly, kFileOrStandardOutput };

// The rows of --csv, --json, --sequence-byte and the network options, in the order of the help
// text; their values go into *o.
std::vector<OptionRow> OutputOptionRows(OutputOptions* o, JsonTarget json);

// After the whole command line was read: whether the network options go together (a token needs
// --http, a topic or discovery --mqtt), then reads the token's file. False with a message for
// the user in *error.
bool FinishOutputOptions(OutputOptions* o, std::string* error);
