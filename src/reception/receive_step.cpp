#include "reception/receive_step.h"

#include <cstring>

#include "app/monitor_state.h"
#include "app/platform.h"
#include "serial/link.h"

namespace {

// Lets the bytes of a frame that is on its way arrive before the read.
constexpr std::uint32_t kSettleMs = 30;
// A read asks for this many more bytes than were waiting, catching those that come meanwhile.
constexpr int kReadSlack = 10;

// The most one read may ask for: what read_buffer holds, and what rx_buffer can still take (an
// echoing receiver's rx_skip bytes are dropped, so they need no room). What does not fit stays
// queued at the port for the next round.
int ReadLimit() {
  const int room = kRxBufferSize - g_state.rx_length + g_state.rx_skip;
  if (room < 0) return 0;
  return room < kReadBufferSize ? room : kReadBufferSize;
}

int ReadAtMost(int request) {
  const int n = g_platform.port->Read(g_state.port_handle, g_state.read_buffer,
                                      static_cast<std::uint32_t>(request));
  // A port that brings more than it was asked for cannot be trusted to have brought bytes that
  // fit: they are dropped as a full buffer, and the port is left as it is.
  if (n > request) return kReceiveOverflow;
  return AcceptRead(n);
}

}  // namespace

int ReceiveStep() {
  const int waiting = g_platform.port->WaitingCount(g_state.port_handle);
  // A device that has gone away can no longer say what waits: that is a failed read, which the
  // poll takes for the outage it is.
  if (waiting < 0) return AcceptRead(-1);
  // An echoing receiver puts rx_skip bytes in front of every block; wait until more than
  // those have come.
  if (waiting < g_state.rx_skip + 1) return kReceiveNothing;
  g_platform.clock->Sleep(kSettleMs);
  const int limit = ReadLimit();
  return ReadAtMost(waiting < limit - kReadSlack ? waiting + kReadSlack : limit);
}

int ReceiveMore() {
  const int waiting = g_platform.port->WaitingCount(g_state.port_handle);
  if (waiting < 0) return AcceptRead(-1);
  if (waiting < kFrameSize) return kReceiveNothing;
  // The bytes are there already: a read of no more than wait returns at once.
  const int limit = ReadLimit();
  return ReadAtMost(waiting < limit ? waiting : limit);
}

int AcceptRead(int n) {
  if (n < 0) {
    ResetPort();
    return kReceiveReadFailed;
  }
  if (n > kReadBufferSize) n = kReadBufferSize;
  const int skip = g_state.rx_skip;
  const int m = n > skip ? n - skip : 0;
  // Refused whole: the bytes just read are dropped, and as nothing is purged, bytes that came
  // after the read stay queued for the next tick.
  if (m > kRxBufferSize - g_state.rx_length) return kReceiveOverflow;
  std::memcpy(g_state.rx_buffer + g_state.rx_length, g_state.read_buffer + skip,
              static_cast<std::size_t>(m));
  g_state.rx_length += m;
  FinishRead();
  return g_state.rx_length >= kFrameSize ? kReceiveFrameReady : kReceiveNothing;
}
