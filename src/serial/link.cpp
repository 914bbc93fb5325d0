#include "serial/link.h"

#include <cstring>

#include "app/monitor_state.h"
#include "app/platform.h"

namespace {

constexpr int kPlatform9x = 1;
constexpr int kPlatformNt = 2;
constexpr int kOsFamily9x = 98;
constexpr int kOsFamilyNt = 40;

constexpr std::uint8_t kProbe[3] = {0x41, 0x42, 0x43};  // "ABC"
constexpr std::uint32_t kProbeReplyLength = 18;
constexpr std::uint32_t kProbeReplyPauseMs = 50;
constexpr int kEchoSkip = 5;

}  // namespace

void DetectOsFamily() {
  switch (g_platform.port->PlatformId()) {
    case kPlatform9x:
      g_state.os_family = kOsFamily9x;
      break;
    case kPlatformNt:
      g_state.os_family = kOsFamilyNt;
      break;
    default:
      break;
  }
}

int OpenLink() {
  // BaudRates has three entries; any other index would read past it.
  if (g_state.baud_index < 0 || g_state.baud_index >= kBaudRateCount) return 0;
  DetectOsFamily();
  SerialPort& port = *g_platform.port;
  g_state.port_handle = port.Open(g_state.port_number);
  if (g_state.port_handle == kInvalidPort) return 0;
  if (port.SetBaud(g_state.port_handle, BaudRates[g_state.baud_index]) == 0) {
    // The port closed itself; forgetting the handle keeps it from being closed a second time.
    g_state.port_handle = kInvalidPort;
    return 0;
  }
  g_state.port_open = 1;
  ResetPort();
  return 1;
}

void CloseLink() {
  g_state.port_open = 0;
  ResetPort();
  // CloseLink runs several times in a row at exit, and also when no port was ever opened: only
  // a handle that is still open is closed, and it is forgotten once closed.
  if (g_state.port_handle != kInvalidPort) {
    g_platform.port->Close(g_state.port_handle);
    g_state.port_handle = kInvalidPort;
  }
}

void ResetPort() {
  // A purge of a port that is not open would act on a stale or foreign handle.
  if (g_state.port_handle != kInvalidPort) g_platform.port->Purge(g_state.port_handle);
  std::memset(g_state.read_buffer, 0, sizeof g_state.read_buffer);
}

void FinishRead() {
  if (g_state.rx_skip != 0) {
    ResetPort();
  } else {
    std::memset(g_state.read_buffer, 0, sizeof g_state.read_buffer);
  }
}

void ProbeLink() {
  ResetPort();
  (void)WritePort(g_state.port_handle, kProbe, sizeof kProbe);
  g_platform.clock->Sleep(kProbeReplyPauseMs);
  const int n = g_platform.port->Read(g_state.port_handle, g_state.read_buffer, kProbeReplyLength);
  const bool echoed = n >= 3 && std::memcmp(g_state.read_buffer, kProbe, sizeof kProbe) == 0;
  g_state.rx_skip = echoed ? kEchoSkip : 0;
  ResetPort();
}

int WritePort(PortHandle port, const std::uint8_t* src, std::uint32_t count) {
  if (g_state.os_family == kOsFamilyNt) return g_platform.port->WriteOverlapped(port, src, count);
  return g_platform.port->WritePlain(port, src, count);
}
