// wsmon_capture (run by make bench): how much of a fault-free stream the monitor shows at 9600,
// 19200 and 38400 baud, at about 4, 40 and 160 frames per second and at the line maximum, beside
// a plain reader of the same stream. Options: --seconds S (per point, default 5), --seed N,
// --baud B (that line only), --sim PATH (default: wsmon-sim of the same build).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "capture/capture_run.h"

namespace {

std::string Rate(const CapturePoint& point) {
  char text[32];
  if (point.frames_per_second > 0) {
    std::snprintf(text, sizeof text, "%.0f", point.frames_per_second);
  } else {
    std::snprintf(text, sizeof text, "%.1f (line max.)", LineMaximum(point.baud));
  }
  return text;
}

double LostPercent(const CaptureResult& r) {
  return r.sent > 0 ? 100.0 * static_cast<double>(r.sent - r.received) / static_cast<double>(r.sent)
                    : 0;
}

}  // namespace

int main(int argc, char** argv) {
  CapturePoint base;
  std::string sim = WSMON_SIM_PATH;
  std::uint32_t only_baud = 0;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--seconds") == 0) base.seconds = std::atof(argv[i + 1]);
    if (std::strcmp(argv[i], "--seed") == 0) base.seed = std::strtoull(argv[i + 1], nullptr, 10);
    if (std::strcmp(argv[i], "--baud") == 0)
      only_baud = static_cast<std::uint32_t>(std::atol(argv[i + 1]));
    if (std::strcmp(argv[i], "--sim") == 0) sim = argv[i + 1];
  }
  if (!(base.seconds > 0)) base.seconds = 5;

  std::printf("Capture of a fault-free stream, 4 sensors, %.0f s per point, seed %llu\n\n",
              base.seconds, static_cast<unsigned long long>(base.seed));
  std::printf(
      "| line | offered frames/s | sent | plain reader | monitor shown | lost | invented errors "
      "(ERR4) | poll cycles | cycle ms: mean / max while streaming / max | period ms | CPU "
      "us/frame |\n"
      "|---|---|---|---|---|---|---|---|---|---|---|\n");
  bool measured = true;
  bool target = true;
  for (std::uint32_t baud : {9600u, 19200u, 38400u}) {
    if (only_baud != 0 && baud != only_baud) continue;
    for (double rate : {4.0, 40.0, 160.0, 0.0}) {
      if (rate > LineMaximum(baud)) continue;  // more than the line carries
      CapturePoint point = base;
      point.baud = baud;
      point.frames_per_second = rate;
      const CaptureResult reader = CaptureWithReader(point, sim);
      const CaptureResult monitor = CaptureWithMonitor(point, sim);
      if (!reader.ok || !monitor.ok) {
        std::printf("| %u | %s | not measured: %s |\n", baud, Rate(point).c_str(),
                    (!monitor.ok ? monitor.error : reader.error).c_str());
        measured = false;
        continue;
      }
      // Bytes the line refused were not read in time: a loss as much as a frame not shown.
      const std::string dropped =
          monitor.dropped_bytes == 0 ? ""
                                     : " (" + std::to_string(monitor.dropped_bytes) + " B dropped)";
      std::printf(
          "| %u | %s | %ld%s | %ld of %ld | %ld | %.1f %% | %ld (%ld) | %d | %.1f / %.1f / %.1f "
          "| %.1f | %.1f |\n",
          baud, Rate(point).c_str(), monitor.sent, dropped.c_str(), reader.received, reader.sent,
          monitor.received, LostPercent(monitor), monitor.errors, monitor.err4, monitor.cycles,
          monitor.cycle_mean_ms, monitor.steady_max_ms, monitor.cycle_max_ms,
          monitor.period_mean_ms, monitor.cpu_us_per_frame);
      std::fflush(stdout);
      target = target && monitor.received == monitor.sent && monitor.errors == 0 &&
               monitor.dropped_bytes == 0;
    }
  }
  std::printf("\nEvery frame shown and no invented error at every point: %s\n",
              target ? "yes" : "no");
  return measured ? 0 : 1;
}
