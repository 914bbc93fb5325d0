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

// Sets the line of a handle just opened; kInvalidPort when the rate did not take, the port
// having closed itself (forgetting the handle keeps it from being closed a second time).
PortHandle SetLine(PortHandle handle, int baud_index) {
  if (handle == kInvalidPort) return kInvalidPort;
  return g_platform.port->SetBaud(handle, BaudRates[baud_index]) == 0 ? kInvalidPort : handle;
}

void ForgetHandle() {
  if (g_state.port_handle == kInvalidPort) return;
  g_platform.port->Close(g_state.port_handle);
  g_state.port_handle = kInvalidPort;
}

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
  g_state.port_handle = SetLine(g_platform.port->Open(g_state.port_number), g_state.baud_index);
  if (g_state.port_handle == kInvalidPort) return 0;
  g_state.port_open = 1;
  g_state.link_port_number = g_state.port_number;
  g_state.link_baud_index = g_state.baud_index;
  ResetPort();
  return 1;
}

void CloseLink() {
  g_state.port_open = 0;
  g_state.port_lost = 0;
  ResetPort();
  // CloseLink runs several times in a row at exit, and also when no port was ever opened: only
  // a handle that is still open is closed, and it is forgotten once closed.
  ForgetHandle();
}

void ReleaseLink() {
  ForgetHandle();
  g_state.rx_length = 0;
  std::memset(g_state.read_buffer, 0, sizeof g_state.read_buffer);
}

int ReopenLink() {
  if (g_state.port_handle != kInvalidPort) return 1;
  const PortHandle handle =
      SetLine(g_platform.port->Reopen(g_state.link_port_number), g_state.link_baud_index);
  if (handle == kInvalidPort) return 0;
  if (g_platform.port->WaitingCount(handle) < 0) {
    g_platform.port->Close(handle);
    return 0;
  }
  g_state.port_handle = handle;
  return 1;
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
