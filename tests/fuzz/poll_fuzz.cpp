// Drives the poll path with arbitrary bytes. The first input byte picks the skip setting and
// the line shape; the rest is cut into chunks, each preceded by a byte that gives its length in
// units of five bytes (so a chunk can pass the 1024 bytes of one read). The sanitizers catch
// any access out of bounds; the checks below catch state that leaves its range, and a reception
// ledger listening must account for every good and every damaged frame.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "app/monitor_state.h"
#include "app/platform.h"
#include "app/poll_cycle.h"
#include "display/counters.h"
#include "ledger/ledger.h"
#include "platform/memory/memory_surface.h"
#include "reception/receive_step.h"
#include "support/fakes/manual_clock.h"

namespace {

void Check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "broken: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static ManualClock clock;
  static MemorySurface surface(&clock);
  static const WindowHandle main = surface.CreateMainWindow(nullptr);
  static WindowHandle boxes[8] = {};
  static Ledger ledger(&clock, true);
  static LedgerSnapshot snapshot;
  if (size == 0) return 0;

  // A fresh run: six panels of which the last two are no longer live but still named in the
  // panel table, the error log, and one box for the three counters.
  ResetMonitorState();
  g_platform = Platform{nullptr, &clock, &surface, nullptr, &ledger};
  for (WindowHandle& box : boxes) {
    if (box == kNoWindow)
      box = surface.CreateListBox(main, "box", kStyleScrolledBox, 0, 0, 506, 256);
    surface.ResetContent(box);
  }
  for (int id = 0; id < 6; ++id) g_state.panel_boxes[id] = boxes[id];
  g_state.panel_count = 4;
  g_state.panel_visible_lines = 13;
  g_state.error_log_box = boxes[6];
  g_state.good_count_box = g_state.bad_count_box = g_state.error_ratio_box = boxes[7];
  static const int kShapes[8] = {1, 4, 5, 9, 10, 32, 0, 255};
  g_state.rx_skip = (data[0] & 1) != 0 ? 5 : 0;
  g_state.sensor_count = kShapes[(data[0] >> 1) & 7];
  clock.SetTick(0xFFFFF000u + data[0]);  // the tick counter wraps within a run of chunks
  ledger.OnRunStarted();

  for (std::size_t at = 1; at < size;) {
    std::size_t length = static_cast<std::size_t>(data[at++]) * 5;
    if (length > size - at) length = size - at;
    const int good_before = g_state.good_frames;
    const int received = PollChunk(data + at, length);
    at += length;
    clock.Advance(200u + data[at - 1]);  // varied intervals for the ledger
    Check(received >= kReceiveOverflow && received <= kReceiveFrameReady, "receive result");
    Check(g_state.rx_length >= 0 && g_state.rx_length <= kRxBufferSize, "rx_length");
    Check(g_state.frame_count <= kFrameTableSize, "frame_count");
    if (received == kReceiveFrameReady) {
      Check(g_state.rx_length < kFrameSize, "tail after extraction");
      Check(g_state.good_frames - good_before <= g_state.frame_count, "good frames");
    }
  }
  ledger.Snapshot(clock.TickCount(), snapshot);
  const RunFacts& run = snapshot.run.facts;
  std::uint64_t bad_checks = 0;
  for (const SensorFigures& row : snapshot.rows) {
    bad_checks += row.tally.bad_checks;
    Check(row.tally.intervals + row.tally.same_poll + (row.tally.frames > 0 ? 1 : 0) ==
                  row.tally.frames ||
              row.row == kRefusedRow,
          "ledger intervals");
    Check(!row.has_delivery || row.delivery_hundredths <= 10000, "ledger delivery");
  }
  Check(run.readings + snapshot.rows[kRefusedRow].tally.frames ==
            static_cast<std::uint64_t>(g_state.good_frames),
        "ledger good frames");
  Check(bad_checks == run.errors[kErrBadCheck], "ledger bad checks");
  g_platform.readings = nullptr;
  return 0;
}
