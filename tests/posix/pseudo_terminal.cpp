#include "pseudo_terminal.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "app/monitor_state.h"
#include "app/platform.h"
#include "serial/link.h"

PseudoTerminal::PseudoTerminal() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  char name[128] = {};
  termios raw{};
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 ||
      ptsname_r(master_, name, sizeof name) != 0 || tcgetattr(master_, &raw) != 0) {
    ADD_FAILURE() << "no pseudo-terminal";
    return;
  }
  cfmakeraw(&raw);
  tcsetattr(master_, TCSANOW, &raw);
  path_ = name;
}

PseudoTerminal::~PseudoTerminal() {
  Hangup();
}

void PseudoTerminal::Send(const Bytes& bytes) {
  ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

Bytes PseudoTerminal::Receive(int timeout_ms, std::size_t at_least) {
  Bytes got;
  const double end = NowMs() + timeout_ms;
  while (got.size() < at_least) {
    const double left = end - NowMs();
    if (left <= 0) break;
    pollfd watch{master_, POLLIN, 0};
    if (poll(&watch, 1, static_cast<int>(left) + 1) <= 0) break;
    std::uint8_t buffer[256];
    const ssize_t n = read(master_, buffer, sizeof buffer);
    if (n <= 0) break;  // nobody has the device open
    got.insert(got.end(), buffer, buffer + n);
  }
  return got;
}

void PseudoTerminal::Hangup() {
  if (master_ >= 0) close(master_);
  master_ = -1;
}

MonitorOnLine::MonitorOnLine(const std::string& path, int port_number) {
  ComPortMap ports;
  ports.Set(port_number, path);
  port_ = std::make_unique<PosixSerialPort>(ports);
  ResetMonitorState();
  g_platform = Platform{};
  g_platform.port = port_.get();
  g_platform.clock = &clock_;
  g_state.port_number = port_number;
}

MonitorOnLine::~MonitorOnLine() {
  CloseLink();
  g_platform = Platform{};
}

int OpenDescriptorCount() {
  int count = 0;
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return -1;
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.') ++count;
  }
  closedir(dir);
  return count - 1;  // the directory's own descriptor
}

bool WaitForWaiting(SerialPort* port, PortHandle handle, int count, int timeout_ms) {
  const double end = NowMs() + timeout_ms;
  while (port->WaitingCount(handle) < count) {
    if (NowMs() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

double NowMs() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}
