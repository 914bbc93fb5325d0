// A pseudo-terminal whose controlling side the test holds, playing the far end of a serial
// line, and small helpers for watching descriptors and queues.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <memory>

#include "app/handles.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_serial_port.h"
#include "serial/serial_port.h"

using Bytes = std::vector<std::uint8_t>;

class PseudoTerminal {
 public:
  PseudoTerminal();  // fails the test (ADD_FAILURE) when none can be had
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  // The device that a serial port opens.
  const std::string& path() const { return path_; }

  // Sends bytes towards whoever has the device open.
  void Send(const Bytes& bytes);
  // Whatever arrives from the device's side within timeout_ms (stops early once at_least
  // bytes are in).
  Bytes Receive(int timeout_ms, std::size_t at_least = SIZE_MAX);
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
  explicit MonitorOnLine(const std::string& path, int port_number = 1);
  ~MonitorOnLine();
  MonitorOnLine(const MonitorOnLine&) = delete;
  MonitorOnLine& operator=(const MonitorOnLine&) = delete;

  PosixSerialPort* port() { return port_.get(); }
  PosixClock* clock() { return &clock_; }

 private:
  PosixClock clock_;
  std::unique_ptr<PosixSerialPort> port_;
};

// How many descriptors the process holds.
int OpenDescriptorCount();

// Waits until the port reports at least count bytes waiting (data written to a pseudo-terminal
// reaches the other side a moment later). False after timeout_ms.
bool WaitForWaiting(SerialPort* port, PortHandle handle, int count, int timeout_ms = 1000);

// Milliseconds of the monotonic clock.
double NowMs();
