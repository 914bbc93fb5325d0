// Runs the simulated receiver (wsmon-sim) as a child process on a pseudo-terminal of its own,
// so that a front end can point a COM port at it and monitor without hardware.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/posix/com_port_map.h"

class SimulatedReceiver {
 public:
  SimulatedReceiver() = default;
  ~SimulatedReceiver();  // stops the child if it still runs
  SimulatedReceiver(const SimulatedReceiver&) = delete;
  SimulatedReceiver& operator=(const SimulatedReceiver&) = delete;

  // Starts program with args and waits (at most a few seconds) for the first line it prints:
  // the path of its device. False with a message in *error when it cannot be started or names
  // no device.
  bool Start(const std::string& program, const std::vector<std::string>& args, std::string* error);
  // Starts it for a monitor's --simulate: program (empty: wsmon-sim beside this program, or on
  // PATH) with args; every port of ports that was not pointed elsewhere leads to it from then on.
  bool StartForPorts(const std::string& program, const std::vector<std::string>& args,
                     ComPortMap* ports, std::string* error);
  const std::string& DevicePath() const { return device_path_; }
  // Stops the child (SIGTERM), waits for it, and returns the lines it printed after the path
  // (its summary).
  std::vector<std::string> Stop();

 private:
  pid_t pid_ = -1;
  int out_fd_ = -1;
  std::string pending_;  // output read but not yet split into lines
  std::string device_path_;
};

// The path of a program that lives in the same directory as the running executable, or just
// its name (to be found on PATH) when that directory cannot be told or holds no such program.
std::string SiblingProgram(const std::string& name);
