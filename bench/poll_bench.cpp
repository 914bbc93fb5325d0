// make bench: frame extraction in MB/s on a clean stream and on a stream of stray bytes only,
// and the whole poll path (extract, count, decode, format, add to a list box) per good frame,
// alone and with the reception ledger listening.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "app/monitor_state.h"
#include "app/platform.h"
#include "app/poll_cycle.h"
#include "ledger/ledger.h"
#include "platform/memory/memory_surface.h"
#include "reception/frame_extraction.h"
#include "reception/reading_fanout.h"
#include "support/fakes/manual_clock.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Frame(std::uint8_t id, std::uint16_t temp, std::uint16_t hum) {
  Bytes f = {0xCC,
             id,
             0x3A,
             static_cast<std::uint8_t>(temp),
             static_cast<std::uint8_t>(temp >> 8),
             static_cast<std::uint8_t>(hum),
             static_cast<std::uint8_t>(hum >> 8),
             0,
             0xDD};
  unsigned sum = 0;
  for (int i = 1; i <= 6; ++i) sum += f[static_cast<std::size_t>(i)];
  f[7] = static_cast<std::uint8_t>(0x100 - (sum & 0xFF));
  return f;
}

// 35 frames back to back from sensors 0 to 3: as many as one poll can hold.
Bytes CleanStream() {
  Bytes s;
  for (int i = 0; i < kRxBufferSize / kFrameSize; ++i) {
    const Bytes f = Frame(static_cast<std::uint8_t>(i % 4), static_cast<std::uint16_t>(300 + i),
                          static_cast<std::uint16_t>(450 + i));
    s.insert(s.end(), f.begin(), f.end());
  }
  return s;
}

void Load(const Bytes& bytes) {
  std::memcpy(g_state.rx_buffer, bytes.data(), bytes.size());
  g_state.rx_length = static_cast<int>(bytes.size());
}

// Bytes consumed per call: the buffer refilled before each call is part of the figure.
void RunExtraction(benchmark::State& state, const Bytes& stream) {
  ResetMonitorState();
  std::int64_t consumed = 0;
  for (auto _ : state) {
    Load(stream);
    benchmark::DoNotOptimize(ExtractFrames());
    consumed += static_cast<std::int64_t>(stream.size()) - g_state.rx_length;
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(consumed);
}

void BM_ExtractCleanStream(benchmark::State& state) {
  RunExtraction(state, CleanStream());
}
BENCHMARK(BM_ExtractCleanStream);

// No byte starts a frame: every one of them is set aside alone, 312 of the 320.
void BM_ExtractStrayBytes(benchmark::State& state) {
  RunExtraction(state, Bytes(kRxBufferSize, 0xCC));
}
BENCHMARK(BM_ExtractStrayBytes);

// One chunk of 35 good frames through the whole poll path, the line shape chosen by the
// sensor count; the panels are emptied now and then, outside the timing. listener, when given,
// hears every event as a front end's listener does.
void RunPollPath(benchmark::State& state, ManualClock& clock, ReadingSink* listener) {
  MemorySurface surface(&clock);
  ResetMonitorState();
  g_platform = Platform{};
  g_platform.clock = &clock;
  g_platform.window = &surface;
  g_platform.readings = listener;
  const WindowHandle main = surface.CreateMainWindow(nullptr);
  for (int id = 0; id < 4; ++id) {
    g_state.panel_boxes[id] =
        surface.CreateListBox(main, "panel", kStyleScrolledBox, 0, 0, 506, 256);
  }
  g_state.panel_count = 4;
  g_state.panel_visible_lines = 13;
  g_state.sensor_count = static_cast<int>(state.range(0));
  g_state.error_log_box = surface.CreateListBox(main, "log", kStyleScrolledBox, 0, 0, 600, 121);
  g_state.good_count_box = surface.CreateListBox(main, "good", kStyleCounterBox, 0, 0, 120, 60);
  g_state.bad_count_box = surface.CreateListBox(main, "bad", kStyleCounterBox, 0, 0, 120, 60);
  g_state.error_ratio_box = surface.CreateListBox(main, "ratio", kStyleCounterBox, 0, 0, 120, 60);

  const Bytes chunk = CleanStream();
  const std::int64_t frames = static_cast<std::int64_t>(chunk.size()) / kFrameSize;
  std::int64_t shown = 0;
  int since_emptied = 0;
  for (auto _ : state) {
    PollChunk(chunk.data(), chunk.size());
    clock.Advance(200);
    shown += frames;
    if (++since_emptied == 2000) {
      state.PauseTiming();
      for (int id = 0; id < 4; ++id) surface.ResetContent(g_state.panel_boxes[id]);
      since_emptied = 0;
      state.ResumeTiming();
    }
  }
  if (g_state.good_frames != shown) state.SkipWithError("not every frame was counted good");
  state.SetItemsProcessed(shown);
  state.counters["per_frame"] = benchmark::Counter(
      static_cast<double>(shown), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  g_platform = Platform{};
  ResetMonitorState();
}

void BM_PollPathPerFrame(benchmark::State& state) {
  ManualClock clock;
  RunPollPath(state, clock, nullptr);
}
BENCHMARK(BM_PollPathPerFrame)->Arg(4)->Arg(9)->Arg(32);

// A listener that does nothing: what the monitor's telling costs by itself.
struct IdleListener : ReadingSink {
  void OnReading(const ReadingEvent& reading) override { benchmark::DoNotOptimize(&reading); }
  void OnError(const ErrorEvent& error) override { benchmark::DoNotOptimize(&error); }
};

void BM_PollPathPerFrameWithIdleListener(benchmark::State& state) {
  ManualClock clock;
  IdleListener idle;
  ReadingFanout fanout;
  fanout.Add(&idle);
  RunPollPath(state, clock, &fanout);
}
BENCHMARK(BM_PollPathPerFrameWithIdleListener)->Arg(4)->Arg(9)->Arg(32);

// The same with the reception ledger listening through the front ends' fanout.
void BM_PollPathPerFrameWithLedger(benchmark::State& state) {
  ManualClock clock;
  Ledger ledger(&clock);
  ReadingFanout fanout;
  fanout.Add(&ledger);
  ledger.OnRunStarted();
  RunPollPath(state, clock, &fanout);
  if (ledger.Run().readings == 0) state.SkipWithError("the ledger heard nothing");
}
BENCHMARK(BM_PollPathPerFrameWithLedger)->Arg(4)->Arg(9)->Arg(32);

}  // namespace

BENCHMARK_MAIN();
