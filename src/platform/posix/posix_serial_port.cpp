#include "platform/posix/posix_serial_port.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <utility>

#include "platform/posix/posix_clock.h"
#include "platform/posix/raw_line.h"
#include "platform/posix/serial_device_list.h"

namespace {

// Pseudo-terminals refuse the modem-line calls with ENOTTY; the lines mean nothing there, so
// the result is ignored on every device.
void SetModemLine(int fd, int line, bool on) {
  int bits = line;
  (void)ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits);
}

std::int64_t DeadlineAfter(std::uint32_t count, std::int64_t constant_ms) {
  return MonotonicNanoseconds() +
         (3 * static_cast<std::int64_t>(count) + constant_ms) * kNanosecondsPerMillisecond;
}

// Waits for the descriptor to become ready for events, at the latest until the deadline.
// Returns false when the deadline has passed.
bool WaitReady(int fd, short events, std::int64_t deadline_ns) {
  const std::int64_t left = deadline_ns - MonotonicNanoseconds();
  if (left <= 0) return false;
  pollfd watch{fd, events, 0};
  const timespec timeout = ToTimespec(left);
  (void)ppoll(&watch, 1, &timeout, nullptr);
  return true;
}

// RTS marks the transmission, so it stays high until the driver's output queue has emptied or
// the time allowed for the write is up.
void WaitForDrain(int fd, std::int64_t deadline_ns) {
  for (;;) {
    int queued = 0;
    if (ioctl(fd, TIOCOUTQ, &queued) != 0 || queued <= 0) return;
    const std::int64_t now = MonotonicNanoseconds();
    if (now >= deadline_ns) return;
    SleepUntilNanoseconds(std::min(deadline_ns, now + kNanosecondsPerMillisecond));
  }
}

// The driver's count of received bytes it lost: the UART's overruns and those of its buffer.
// False where it keeps none (pseudo-terminals).
bool LossCount(int fd, long* count) {
  serial_icounter_struct counters{};
  if (ioctl(fd, TIOCGICOUNT, &counters) != 0) return false;
  *count = static_cast<long>(counters.overrun) + counters.buf_overrun;
  return true;
}

}  // namespace

PosixSerialPort::PosixSerialPort(ComPortMap ports, SystemRoots roots)
    : ports_(std::move(ports)), roots_(std::move(roots)) {}

PosixSerialPort::~PosixSerialPort() {
  while (!devices_.empty()) Close(devices_.back().fd);
}

PosixSerialPort::Device* PosixSerialPort::Find(PortHandle port) {
  for (Device& device : devices_) {
    if (device.fd == port) return &device;
  }
  return nullptr;
}

void PosixSerialPort::Release(int fd) {
  for (auto it = devices_.begin(); it != devices_.end(); ++it) {
    if (it->fd != fd) continue;
    if (it->has_settings_before) (void)tcsetattr(fd, TCSANOW, &it->settings_before);
    devices_.erase(it);
    break;
  }
  // The exclusive flag belongs to the terminal, not to this descriptor: left set, it would
  // keep everyone but root out after we are gone while another process still holds the device.
  (void)ioctl(fd, TIOCNXCL);
  ::close(fd);  // also drops the lock
}

PortHandle PosixSerialPort::Refuse(int port_number, const std::string& path, OpenFailureKind kind,
                                   int error, bool tell) {
  // A reopening during an outage fails quietly at every poll, and must stay cheap.
  if (!tell || !failure_listener_) return kInvalidPort;
  OpenFailure failure{kind, port_number, path, error, {}};
  // Who holds a busy device, where the system lets us see, as the port listing tells it.
  if (kind == OpenFailureKind::kBusy) failure.holders = HoldersOf(path, "/proc");
  failure_listener_(failure);
  return kInvalidPort;
}

void PosixSerialPort::TellLoss(Device& device, int error) {
  if (!device.tells_loss) return;
  device.tells_loss = false;
  if (!loss_listener_) return;
  const std::string path = ports_.PathFor(device.port_number);
  struct stat node {};
  const bool gone = stat(path.c_str(), &node) != 0 && (errno == ENOENT || errno == ENOTDIR);
  loss_listener_(PortLoss{device.port_number, path, error, gone});
}

PortHandle PosixSerialPort::Open(int port_number) {
  return OpenDevice(port_number, true);
}

PortHandle PosixSerialPort::Reopen(int port_number) {
  return OpenDevice(port_number, false);
}

bool PosixSerialPort::MayReopen(int port_number, const std::string& path, dev_t* node) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return false;
  *node = st.st_rdev;
  Remembered& remembered = remembered_[port_number];
  if (!remembered.identity.Known()) return true;
  // Asked of sysfs before the device is opened: opening a stranger's line could already reset
  // what hangs on it (DTR), and it would be read by nobody.
  const DeviceIdentity found = IdentityOf(st.st_rdev, roots_);
  if (SameDevice(remembered.identity, found)) return true;
  if (!remembered.other_told && other_device_listener_) {
    other_device_listener_(OtherDevice{port_number, path, remembered.identity, found});
  }
  remembered.other_told = true;
  return false;
}

PortHandle PosixSerialPort::OpenDevice(int port_number, bool first) {
  const std::string path = ports_.PathFor(port_number);
  if (path.empty()) return Refuse(port_number, path, OpenFailureKind::kNoPath, 0, first);
  dev_t checked = 0;
  if (!first && !MayReopen(port_number, path, &checked)) return kInvalidPort;
  // Non-blocking, or the open of a real port would wait for a carrier that may never come.
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    // The exclusive flag of another opener shows as EBUSY.
    const int error = errno;
    const auto kind = error == EBUSY ? OpenFailureKind::kBusy : OpenFailureKind::kSystemRefused;
    return Refuse(port_number, path, kind, error, first);
  }
  // Exclusive use: TIOCEXCL keeps other openers out except root, the lock keeps out everyone
  // who asks for it (another monitor, the tests) even as root. A file that is no terminal is
  // not a serial port.
  const bool terminal = isatty(fd) != 0;
  if (!terminal || flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    ::close(fd);
    const auto kind = !terminal              ? OpenFailureKind::kNotATerminal
                      : error == EWOULDBLOCK ? OpenFailureKind::kBusy
                                             : OpenFailureKind::kSystemRefused;
    return Refuse(port_number, path, kind, error, first);
  }
  // The terminal the monitor runs in is the operator's, never a port. Any other keeps the
  // settings it had, put back when it is closed.
  if (tcgetsid(fd) == getsid(0)) {
    ::close(fd);
    return Refuse(port_number, path, OpenFailureKind::kOwnTerminal, 0, first);
  }
  struct stat opened {};
  (void)fstat(fd, &opened);
  if (first) {
    remembered_[port_number] = Remembered{IdentityOf(opened.st_rdev, roots_), false};
  } else if (opened.st_rdev != checked) {
    ::close(fd);  // the path moved on between the check and the open: checked again next time
    return kInvalidPort;
  } else {
    remembered_[port_number].other_told = false;
  }
  Device device;
  device.fd = fd;
  device.port_number = port_number;
  device.tells_loss = first;
  device.has_settings_before = tcgetattr(fd, &device.settings_before) == 0;
  (void)ioctl(fd, TIOCEXCL);
  // Raw mode with VMIN 1 and the descriptor non-blocking: an empty queue reads as EAGAIN, so
  // that a read of 0 bytes can only mean that the other end hung up.
  termios settings{};
  if (tcgetattr(fd, &settings) == 0) {
    MakeRaw(&settings);  // at the speed the device already has, until SetBaud
    (void)tcsetattr(fd, TCSANOW, &settings);
  }
  SetModemLine(fd, TIOCM_RTS, false);
  SetModemLine(fd, TIOCM_DTR, true);
  // What a device that came back has sent since is kept: those bytes are readings too.
  if (first) (void)tcflush(fd, TCIOFLUSH);
  device.counts_losses = LossCount(fd, &device.losses_seen);
  devices_.push_back(device);
  return fd;
}

int PosixSerialPort::SetBaud(PortHandle port, std::uint32_t baud) {
  const Device* device = Find(port);
  if (device == nullptr) return 0;
  const int fd = device->fd;
  speed_t speed = B0;
  termios wanted{};
  bool applied = SpeedFor(baud, &speed) && tcgetattr(fd, &wanted) == 0;
  if (applied) {
    MakeRaw(&wanted);
    applied = cfsetispeed(&wanted, speed) == 0 && cfsetospeed(&wanted, speed) == 0 &&
              tcsetattr(fd, TCSANOW, &wanted) == 0;
  }
  // tcsetattr succeeds when any one of the changes took; read back what is in force.
  termios actual{};
  applied = applied && tcgetattr(fd, &actual) == 0 && cfgetispeed(&actual) == speed &&
            cfgetospeed(&actual) == speed && (actual.c_cflag & CSIZE) == CS8 &&
            (actual.c_cflag & (PARENB | CSTOPB | CRTSCTS)) == 0;
  if (!applied) {
    Release(fd);
    return 0;
  }
  return 1;
}

void PosixSerialPort::Purge(PortHandle port) {
  Device* device = Find(port);
  if (device == nullptr) return;
  const int fd = device->fd;
  SetModemLine(fd, TIOCM_RTS, false);
  SetModemLine(fd, TIOCM_DTR, true);
  // Also drops what the pseudo-terminal has accepted but not yet handed to the line
  // discipline. With parity checking off and no error marking, termios keeps no error
  // condition that would need clearing.
  (void)tcflush(fd, TCIOFLUSH);
  NoteLosses(*device, false);
}

int PosixSerialPort::WaitingCount(PortHandle port) {
  Device* device = Find(port);
  if (device == nullptr) return 0;
  int waiting = 0;
  // A line that hung up (or a device that went away) refuses the question.
  if (ioctl(device->fd, FIONREAD, &waiting) != 0 || waiting < 0) {
    TellLoss(*device, errno);
    return -1;
  }
  // A device that has answered once has a loss of its own to tell when it fails.
  device->tells_loss = true;
  NoteLosses(*device, true);
  return waiting;
}

int PosixSerialPort::LostInput(PortHandle port) {
  Device* device = Find(port);
  if (device == nullptr || !NoteLosses(*device, true) || !device->lost) return 0;
  device->lost = false;
  return 1;
}

bool PosixSerialPort::NoteLosses(Device& device, bool keep) {
  long count = 0;
  if (!device.counts_losses || !LossCount(device.fd, &count)) return false;
  device.lost = device.lost || (keep && count != device.losses_seen);
  device.losses_seen = count;
  return true;
}

int PosixSerialPort::Read(PortHandle port, std::uint8_t* dst, std::uint32_t count) {
  Device* device = Find(port);
  if (device == nullptr || dst == nullptr) return -1;
  const int fd = device->fd;
  count = std::min<std::uint32_t>(count, INT_MAX);
  const std::int64_t deadline = DeadlineAfter(count, 10);
  std::uint32_t got = 0;
  bool started = false;
  while (got < count) {
    const ssize_t n = ::read(fd, dst + got, count - got);
    if (n > 0) {
      got += static_cast<std::uint32_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n == 0 || errno != EAGAIN) {
      // The other end hung up or the device went away. Before anything was read that refuses
      // the read; later it ends it with the bytes that came.
      TellLoss(*device, n == 0 ? 0 : errno);
      return started ? static_cast<int>(got) : -1;
    } else if (!WaitReady(fd, POLLIN, deadline)) {
      break;
    }
    started = true;
  }
  return static_cast<int>(got);
}

int PosixSerialPort::Write(PortHandle port, const std::uint8_t* src, std::uint32_t count) {
  const Device* device = Find(port);
  if (device == nullptr || (src == nullptr && count > 0)) return -1;
  const int fd = device->fd;
  count = std::min<std::uint32_t>(count, INT_MAX);
  Purge(port);  // discards every received byte that nobody has read
  const std::int64_t deadline = DeadlineAfter(count, 20);
  SetModemLine(fd, TIOCM_RTS, true);
  std::uint32_t written = 0;
  bool failed = false;
  while (written < count) {
    const ssize_t n = ::write(fd, src + written, count - written);
    if (n > 0) {
      written += static_cast<std::uint32_t>(n);
    } else if (n < 0 && (errno == EINTR || (errno == EAGAIN && WaitReady(fd, POLLOUT, deadline)))) {
      continue;
    } else if (n < 0 && errno == EAGAIN) {
      break;  // time is up: the bytes written so far
    } else {
      failed = true;
      break;
    }
  }
  if (!failed) WaitForDrain(fd, deadline);
  SetModemLine(fd, TIOCM_RTS, false);
  if (failed) {
    Purge(port);
    return -1;
  }
  return static_cast<int>(written);
}

int PosixSerialPort::WriteOverlapped(PortHandle port, const std::uint8_t* src,
                                     std::uint32_t count) {
  return Write(port, src, count);
}

int PosixSerialPort::WritePlain(PortHandle port, const std::uint8_t* src, std::uint32_t count) {
  return Write(port, src, count);
}

void PosixSerialPort::Close(PortHandle port) {
  const Device* device = Find(port);
  if (device == nullptr) return;
  const int fd = device->fd;
  Purge(port);
  Release(fd);
}
