// make bench: the export of a run of 1,000,000 lines (four panels of timed readings and an error
// log) to a real file in a scratch directory, flushed to the device at the end as every export
// is. Target: well under 0.3 s per export.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "app/monitor_state.h"
#include "app/platform.h"
#include "platform/memory/memory_surface.h"
#include "platform/posix/posix_file_store.h"
#include "settings/export_log.h"
#include "support/fakes/manual_clock.h"

namespace {

constexpr int kPanelLines = 240000;  // in each of four panels
constexpr int kLogLines = 40000;

void BM_ExportMillionLines(benchmark::State& state) {
  char dir[] = "/tmp/wsmon-bench-XXXXXX";
  if (mkdtemp(dir) == nullptr) return state.SkipWithError("no scratch directory");
  ManualClock clock;
  MemorySurface surface(&clock);
  PosixFileStore files;
  ResetMonitorState();
  g_platform = Platform{};
  g_platform.clock = &clock;
  g_platform.window = &surface;
  g_platform.files = &files;
  files.SetCurrentDir(dir);
  const WindowHandle main = surface.CreateMainWindow(nullptr);
  for (int p = 0; p < 4; ++p) {
    g_state.panel_boxes[p] = surface.CreateListBox(main, "panel", kStyleScrolledBox, 0, 0, 9, 9);
    for (int j = 0; j < kPanelLines; ++j) {
      const std::string line =
          std::to_string(j % 1000) + "-14:05:09-3A-+23.1℃/45.6%RH-<71-01-C8-01-86>- 5.2";
      surface.AddString(g_state.panel_boxes[p], line.c_str());
    }
  }
  g_state.panel_count = 4;
  g_state.error_log_box = surface.CreateListBox(main, "log", kStyleScrolledBox, 0, 0, 9, 9);
  for (int j = 0; j < kLogLines; ++j) {
    surface.AddString(g_state.error_log_box,
                      "00001 -> 14:05:09 -- ERR2,n=3,D:CC-05-3A-71-01-"
                      "C8-01-87-DD-");
  }

  for (auto _ : state) {
    if (ExportLog(kNoWindow) != 0) state.SkipWithError("the export failed");
    state.PauseTiming();
    unlink((std::string(dir) + "/" + g_state.log_file_name).c_str());
    clock.Advance(60000);  // every export under a name of its own
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * (4 * kPanelLines + kLogLines));
  g_platform = Platform{};
  ResetMonitorState();
  rmdir(dir);
}
BENCHMARK(BM_ExportMillionLines)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
