// What the Linux tests work with: a pseudo-terminal whose controlling side plays the far end of
// a serial line, the monitor wired to such a line, the programs of this project run as child
// processes, and scratch directories.
#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_serial_port.h"
#include "support/fixture.h"

// Milliseconds of the monotonic clock.
double NowMs();
// How many descriptors the process holds.
int OpenDescriptorCount();
// Waits until the port reports at least count bytes waiting (bytes written to a
// pseudo-terminal reach the other side a moment later). False after timeout_ms.
bool WaitForWaiting(SerialPort* port, PortHandle handle, int count, int timeout_ms = 1000);

class PseudoTerminal {
 public:
  PseudoTerminal();  // fails the test (ADD_FAILURE) when none can be had
  ~PseudoTerminal() { Hangup(); }
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  // The device that a serial port opens.
  const std::string& path() const { return path_; }
  void Send(const Bytes& bytes);
  // Whatever arrives from the device's side within timeout_ms, ending early once at_least
  // bytes are in.
  Bytes Receive(int timeout_ms, std::size_t at_least);
  // The far end goes away.
  void Hangup();
  bool hung_up() const { return master_ < 0; }

 private:
  int master_ = -1;
  std::string path_;
};

// The monitor wired to the Linux serial port and clock, its configured port being the line at
// path. Resets the monitor state; the destructor closes the link and unwires the platform.
class MonitorOnLine {
 public:
  explicit MonitorOnLine(const std::string& path);
  ~MonitorOnLine();
  PosixSerialPort* port() { return port_.get(); }
  PosixClock* clock() { return &clock_; }

 private:
  PosixClock clock_;
  std::unique_ptr<PosixSerialPort> port_;
};

// A program run with its standard input written by the test and its standard output read line
// by line within time limits.
class ChildProcess {
 public:
  // Starts program with args in directory cwd (empty: the test's own).
  ChildProcess(const std::string& program, const std::vector<std::string>& args,
               const std::string& cwd = "");
  ~ChildProcess();  // kills the child if it still runs
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  void Signal(int signal_number);
  void Write(const std::string& text);
  void CloseInput();
  // The next line of output, waiting at most timeout_ms. False at the end of output or when
  // time is up.
  bool ReadLine(std::string* line, int timeout_ms);
  // Reads lines until one satisfies match; every line read is kept.
  bool ReadUntil(const std::function<bool(const std::string&)>& match, int timeout_ms);
  // Every line read so far.
  const std::vector<std::string>& lines() const { return lines_; }
  // Reads the rest of the output and waits for the child to end, at most timeout_ms; a child
  // still running then is killed. Its exit status, or -1 when killed or ended by a signal.
  int Finish(int timeout_ms);

 private:
  pid_t pid_ = -1;
  int in_fd_ = -1;
  int out_fd_ = -1;
  std::string pending_;
  std::vector<std::string> lines_;
};

// The simulated receiver's summary in output lines: KEY -> VALUE ("sensor 7" is one key).
std::map<std::string, long> Summary(const Lines& lines);

// Runs wsmon --headless with these extra arguments in cwd, feeding it input and closing its
// input; returns its output lines and sets *status to its exit status.
Lines RunHeadless(const std::vector<std::string>& args, const std::string& input,
                  const std::string& cwd, int* status);

// A fresh empty directory under the system's temporary directory, removed by the destructor.
class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  // Names of the files in it, sorted.
  std::vector<std::string> Names() const;

 private:
  std::string path_;
};

std::string ReadWholeFile(const std::string& path);
