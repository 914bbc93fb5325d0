#include "sim/sim_line.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/posix/posix_clock.h"
#include "platform/posix/raw_line.h"

volatile std::sig_atomic_t g_sim_stop = 0;

namespace {

// Without raw mode the line discipline would rewrite binary bytes (CR, NL) and echo them. A
// baud of 0 keeps the line's speed (a pseudo-terminal has none that matters).
bool SetRaw(int fd, std::uint32_t baud) {
  termios t{};
  if (tcgetattr(fd, &t) != 0) return false;
  MakeRaw(&t);
  speed_t speed = B0;
  if (baud != 0 &&
      (!SpeedFor(baud, &speed) || cfsetispeed(&t, speed) != 0 || cfsetospeed(&t, speed) != 0)) {
    return false;
  }
  return tcsetattr(fd, TCSANOW, &t) == 0;
}

}  // namespace

SimLine::~SimLine() {
  Close();
}

void SimLine::Close() {
  if (fd_ >= 0) ::close(fd_);
  if (keep_open_fd_ >= 0) ::close(keep_open_fd_);
  fd_ = -1;
  keep_open_fd_ = -1;
}

bool SimLine::OpenPseudoTerminal(std::string* path, std::string* error) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
    *error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
    if (master >= 0) ::close(master);
    return false;
  }
  char name[128];
  if (ptsname_r(master, name, sizeof name) != 0) {
    *error = std::string("cannot name the pseudo-terminal: ") + std::strerror(errno);
    ::close(master);
    return false;
  }
  // Holding the far end open ourselves keeps the line up while the monitor closes and opens
  // it again: otherwise every read here would fail and every poll report a hang-up meanwhile.
  const int far_end = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (far_end < 0 || !SetRaw(far_end, 0) || !SetRaw(master, 0)) {
    *error = std::string("cannot set up the pseudo-terminal: ") + std::strerror(errno);
    if (far_end >= 0) ::close(far_end);
    ::close(master);
    return false;
  }
  // In packet mode each read tells first whether the monitor's end purged its input, which is
  // when bytes sent before it are lost.
  int on = 1;
  sees_purges_ = ioctl(master, TIOCPKT, &on) == 0;
  fd_ = master;
  keep_open_fd_ = far_end;
  *path = name;
  return true;
}

bool SimLine::OpenDevice(const std::string& path, std::uint32_t baud, std::string* error) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  if (!SetRaw(fd, baud)) {
    *error =
        "cannot set " + path + " to raw " + std::to_string(baud) + " 8N1: " + std::strerror(errno);
    ::close(fd);
    return false;
  }
  tcflush(fd, TCIOFLUSH);
  fd_ = fd;
  return true;
}

std::size_t SimLine::WriteNow(const std::uint8_t* bytes, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::write(fd_, bytes + done, count - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR && !g_sim_stop) {
      continue;
    } else {
      break;
    }
  }
  return done;
}

ssize_t SimLine::ReadSome(std::uint8_t* buffer, std::size_t size, bool* status) {
  *status = false;
  if (!sees_purges_) return ::read(fd_, buffer, size);
  std::uint8_t packet[257];
  const ssize_t n = ::read(fd_, packet, std::min(size + 1, sizeof packet));
  if (n <= 0) return n;
  if (packet[0] != TIOCPKT_DATA) {
    *status = true;
    if ((packet[0] & TIOCPKT_FLUSHREAD) != 0) ++purges_;
    return 0;
  }
  std::memcpy(buffer, packet + 1, static_cast<std::size_t>(n - 1));
  return n - 1;
}

bool SimLine::EndsProbe(const std::uint8_t* bytes, ssize_t count) {
  for (ssize_t i = 0; i < count; ++i) {
    if (bytes[i] == kProbe[probe_matched_]) {
      ++probe_matched_;
    } else {
      probe_matched_ = bytes[i] == kProbe[0] ? 1 : 0;
    }
    if (probe_matched_ == sizeof kProbe) {
      probe_matched_ = 0;
      return true;
    }
  }
  return false;
}

bool SimLine::WatchUntil(std::int64_t deadline_ns, Watch what) {
  for (;;) {
    std::uint8_t buffer[256];
    bool status = false;
    const std::uint64_t purges = purges_;
    const ssize_t n = ReadSome(buffer, sizeof buffer, &status);
    if (status) {
      if (what == Watch::kInputPurged && purges_ != purges) return true;
      continue;
    }
    // Whatever followed the probe in this read is of no interest to a receiver.
    if (what == Watch::kProbeComplete && n > 0 && EndsProbe(buffer, n)) return true;
    if (n > 0) continue;
    if (n < 0 && errno == EINTR && !g_sim_stop) continue;
    // A device that went away reads as 0 bytes or fails, and reports a hang-up at every poll:
    // wait out the time instead of spinning on it.
    const bool line_down = n == 0 || errno != EAGAIN;
    const std::int64_t left = deadline_ns - MonotonicNanoseconds();
    if (left <= 0 || g_sim_stop) return false;
    const timespec timeout = ToTimespec(left);
    if (line_down) {
      nanosleep(&timeout, nullptr);
      return false;
    }
    pollfd watch{fd_, POLLIN, 0};
    (void)ppoll(&watch, 1, &timeout, nullptr);
  }
}
