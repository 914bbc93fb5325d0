// The simulated receiver's end of the serial line: a new pseudo-terminal or a given device, in
// raw mode, written without ever blocking, and watched for the monitor's probe.
#pragma once

#include <sys/types.h>

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

  enum class Watch {
    kProbeComplete,  // a probe "ABC"
    kInputPurged,    // the other end purging its input (only where sees_purges())
  };
  // Reads what the other end sent until deadline_ns (monotonic) or until what is watched for
  // comes, whichever is first. Returns true when it came.
  bool WatchUntil(std::int64_t deadline_ns, Watch what = Watch::kProbeComplete);
  // Whether the line tells when the other end purges its input: a pseudo-terminal does.
  bool sees_purges() const { return sees_purges_; }

 private:
  // One read of the line, as read's result; a status alone (of a line that sees purges) is no
  // bytes, and sets *status.
  ssize_t ReadSome(std::uint8_t* buffer, std::size_t size, bool* status);
  // Whether these bytes complete a probe, with those of earlier reads.
  bool EndsProbe(const std::uint8_t* bytes, ssize_t count);

  int fd_ = -1;
  int keep_open_fd_ = -1;  // our own descriptor of the pseudo-terminal's far end
  int probe_matched_ = 0;  // bytes of "ABC" seen so far
  bool sees_purges_ = false;
  std::uint64_t purges_ = 0;  // of the other end's input, where the line sees them
};

// Set by SIGINT and SIGTERM.
extern volatile std::sig_atomic_t g_sim_stop;
