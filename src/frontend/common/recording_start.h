// --record FILE and --replay FILE of the Linux front ends: the recording of the port, started
// before anything reads the clock, and the port the monitor is given.
#pragma once

#include <memory>
#include <string>

#include "frontend/program/options.h"
#include "recording/port_recording.h"

// Starts the recording that options ask for (the caller checked that they ask for one). Each
// record names the device that options' ports lead to at that moment (--simulate fills them in
// later). nullptr with a message for the user in *error when the file cannot be made. created,
// when given, is the file already made under the name (a run's own).
std::unique_ptr<PortRecording> StartRecording(Options& options, FileStore* files, Clock* clock,
                                              PortRecording::Report report, std::string* error,
                                              FileHandle created = kInvalidFile);

// The port the monitor is given: a replay's recording, or the real port behind the recorder
// when there is one (recording, which it gives the real port), or the real port.
SerialPort* MonitorPort(SerialPort* real, SerialPort* replay, PortRecording* recording);
