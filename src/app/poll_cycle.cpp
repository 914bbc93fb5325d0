#include "app/poll_cycle.h"

#include <cstring>

#include "app/monitor_state.h"
#include "app/platform.h"
#include "app/port_outage.h"
#include "app/resource_ids.h"
#include "display/counters.h"
#include "journal/run_journal.h"
#include "reception/frame_extraction.h"
#include "reception/reading.h"
#include "reception/receive_step.h"

namespace {

// Reads of one poll, the first included. A read takes at most 320 - rx_length bytes (312 or
// more between polls), and at 38400 baud about 900 bytes come between two polls; eight reads
// take about 2,500, so a poll keeps up with the fastest line with room to catch up after a
// late tick, while the extra reads, which do not pause, keep the poll short.
constexpr int kReadsPerPoll = 8;

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
      // A port that refuses a read or its waiting count has stopped answering: the run goes on
      // through the outage, logged once.
      NotePortLost();
      break;
    case kReceiveOverflow:
      LogError(kErrBufferFull, 0);
      break;
    default:
      break;
  }
}

// The longest a receive step takes: the settling pause and a read that waits for bytes that do
// not come, 3 ms for each of the at most 330 bytes asked for and 10 ms more.
constexpr std::uint32_t kLongestReceiveMs = 1050;

// Tells a listening front end (and a recording) when the clock stands much later than
// expected_tick, the poll timer's due tick or the latest end of a receive step.
void NoteStall(std::uint32_t expected_tick) {
  DispatchObserver* const observer = g_platform.dispatch;
  if (g_platform.readings == nullptr && observer == nullptr) return;
  const std::uint32_t now = g_platform.clock->TickCount();
  std::uint32_t late_ms = 0;
  if (g_platform.stalls != nullptr) {
    late_ms = g_platform.stalls->TakeStall();
    if (late_ms == 0) return;
  } else {
    const auto late = static_cast<std::int32_t>(now - expected_tick);
    if (late <= static_cast<std::int32_t>(kMonitorStallMs)) return;
    late_ms = static_cast<std::uint32_t>(late);
  }
  StallEvent event;
  event.tick = now;
  event.time = g_platform.clock->Now();
  event.late_ms = late_ms;
  if (observer != nullptr) observer->Stalled(event.tick, event.time, event.late_ms);
  if (g_platform.readings != nullptr) g_platform.readings->OnMonitorStall(event);
}

}  // namespace

void ArmPollTimer(WindowHandle hwnd) {
  g_platform.window->SetTimer(hwnd, POLL_TIMER_ID, POLL_PERIOD_MS);
  g_state.poll_due_tick = g_platform.clock->TickCount() + POLL_PERIOD_MS;
}

void PollCycle(WindowHandle hwnd) {
  DispatchObserver* const observer = g_platform.dispatch;
  if (observer != nullptr) observer->BeginPoll();
  // The timer is re-armed at the end, so the next tick comes a full period after this cycle
  // and none can queue up meanwhile; no outcome ends the run.
  g_platform.window->KillTimer(hwnd, POLL_TIMER_ID);
  NoteStall(g_state.poll_due_tick);
  // During an outage a poll only tries to open the port again; once it is back, the same poll
  // reads.
  if (PortAnswers() == 1) {
    std::uint32_t began = g_platform.clock->TickCount();
    int received = ReceiveStep();
    NoteStall(began + kLongestReceiveMs);
    HandleReceiveResult(received);
    // A plain receiver's bytes that one read could not take are still queued: they are read
    // and handled in turn, exactly as separate polls would have handled them. An echoing
    // receiver's port was purged after the read, so there is nothing more to read.
    for (int reads = 1;
         reads < kReadsPerPoll && received == kReceiveFrameReady && g_state.rx_skip == 0; ++reads) {
      began = g_platform.clock->TickCount();
      received = ReceiveMore();
      NoteStall(began + kLongestReceiveMs);
      HandleReceiveResult(received);
    }
    // Bytes that the driver lost before any read could take them are reported as a full
    // buffer, once for the poll; a port lost meanwhile has no handle left to ask.
    if (g_state.port_lost == 0 && g_platform.port->LostInput(g_state.port_handle) != 0) {
      LogError(kErrBufferFull, 0);
    }
  }
  // The poll's lines go to the run's journal in one write.
  CommitRunJournal();
  ArmPollTimer(hwnd);
  if (observer != nullptr) observer->EndDispatch();
}

int PollChunk(const std::uint8_t* bytes, std::size_t count) {
  const std::size_t n = count < sizeof g_state.read_buffer ? count : sizeof g_state.read_buffer;
  if (n > 0) std::memcpy(g_state.read_buffer, bytes, n);
  const int received = AcceptRead(static_cast<int>(n));
  HandleReceiveResult(received);
  CommitRunJournal();
  return received;
}
