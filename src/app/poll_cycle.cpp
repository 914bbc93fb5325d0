#include "app/poll_cycle.h"

#include <cstring>

#include "app/monitor_state.h"
#include "app/platform.h"
#include "app/resource_ids.h"
#include "display/counters.h"
#include "reception/frame_extraction.h"
#include "reception/reading.h"
#include "reception/receive_step.h"

namespace {

// Routes every outcome of one receive step to the counters, the panels and the error log.
// Each counter moves before the line that carries its new value is written.
void HandleReceiveResult(int received) {
  switch (received) {
    case kReceiveFrameReady: {
      const int strays = ExtractFrames();
      // One error event per extraction however many stray bytes, before any of its frames.
      if (strays != 0) {
        CountBadFrame();
        LogError(kErrStrayBytes, strays);
      }
      for (int k = 0; k < g_state.frame_count; ++k) {
        if (g_state.frame_status[k] == kFrameGood) {
          // Counted as good even when the sensor id is then refused.
          CountGoodFrame();
          ShowReading(k);
        } else if (g_state.frame_status[k] == kFrameBadCheck) {
          CountBadFrame();
          LogError(kErrBadCheck, k);
        }
      }
      break;
    }
    case kReceiveReadFailed:
      LogError(kErrPortRead, 0);
      break;
    case kReceiveOverflow:
      LogError(kErrBufferFull, 0);
      break;
    default:
      break;
  }
}

}  // namespace

void PollCycle(WindowHandle hwnd) {
  // The timer is re-armed at the end, so the next tick comes a full period after this cycle
  // and none can queue up meanwhile; no outcome ends the run.
  g_platform.window->KillTimer(hwnd, POLL_TIMER_ID);
  HandleReceiveResult(ReceiveStep());
  g_platform.window->SetTimer(hwnd, POLL_TIMER_ID, POLL_PERIOD_MS);
}

int PollChunk(const std::uint8_t* bytes, std::size_t count) {
  const std::size_t n = count < sizeof g_state.read_buffer ? count : sizeof g_state.read_buffer;
  if (n > 0) std::memcpy(g_state.read_buffer, bytes, n);
  const int received = AcceptRead(static_cast<int>(n));
  HandleReceiveResult(received);
  return received;
}
