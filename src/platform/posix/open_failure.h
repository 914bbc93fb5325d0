// Why an attempt to open a serial port failed, as the Linux serial port tells it so that a front
// end can tell the user more than the monitor's own message box does.
#pragma once

#include <string>
#include <vector>

enum class OpenFailureKind {
  kNone,
  kNoPath,         // the port number names no device
  kSystemRefused,  // open() failed: error holds errno
  kNotATerminal,   // the file is no terminal, so no serial port
  kBusy,           // another program holds the device (its lock, or the exclusive flag)
  kOwnTerminal,    // the device is this program's own controlling terminal
};

struct OpenFailure {
  OpenFailureKind kind = OpenFailureKind::kNone;
  int port_number = 0;
  std::string path;
  int error = 0;                     // errno where the system gave one
  std::vector<std::string> holders;  // for kBusy: the programs that have it open, "NAME (pid N)"
};
