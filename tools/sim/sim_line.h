// The simulated receiver's end of the serial line: a new pseudo-terminal or a given device, in
// raw mode, written without ever blocking, and watched for the monitor's probe.
#pragma once

#include <csignal>
#include <cstdint>
#include <string>

// The monitor's probe, "ABC"; an echoing receiver answers it with the same bytes.
inline constexpr std::uint8_t kProbe[3] = {0x41, 0x42, 0x43};

class SimLine {
 public:
  SimLine() = default;
  ~SimLine();
  SimLine(const SimLine&) = delete;
  SimLine& operator=(const SimLine&) = delete;

  // Creates a pseudo-terminal; *path receives the device the monitor should open.
  bool OpenPseudoTerminal(std::string* path, std::string* error);
  // Opens a serial device and sets it to raw 8N1 at baud.
  bool OpenDevice(const std::string& path, std::uint32_t baud, std::string* error);
  void Close();

  // Writes what the line takes now; returns the number of leading bytes it took. A line whose
  // reader has stopped reading fills up; the rest is then lost, as on a real line.
  std::size_t WriteNow(const std::uint8_t* bytes, std::size_t count);

  // Reads what the other end sent until deadline_ns (monotonic) or until a probe "ABC" is
  // complete, whichever is first. Returns true when a probe arrived.
  bool WatchUntil(std::int64_t deadline_ns);

 private:
  int fd_ = -1;
  int keep_open_fd_ = -1;  // our own descriptor of the pseudo-terminal's far end
  int probe_matched_ = 0;  // bytes of "ABC" seen so far
};

// Set by SIGINT and SIGTERM.
extern volatile std::sig_atomic_t g_sim_stop;
