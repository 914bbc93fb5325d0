// Any configuration file: loading never leaves a setting where the monitor cannot use it, and
// what is saved loads back as the same settings.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/monitor_state.h"
#include "app/platform.h"
#include "platform/memory/manual_clock.h"
#include "platform/memory/memory_file_store.h"
#include "platform/memory/memory_surface.h"
#include "settings/config_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static ManualClock clock;
  static MemorySurface surface(&clock);
  MemoryFileStore files("/start");
  ResetMonitorState();
  g_platform = Platform{nullptr, &clock, &surface, &files};
  std::snprintf(g_state.start_directory, sizeof g_state.start_directory, "/start");
  files.PutFile("wscfg.cfg", std::vector<std::uint8_t>(data, data + size));
  const int loaded = LoadConfig(kNoWindow);
  const int settings[4] = {g_state.port_number, g_state.baud_index, g_state.save_log,
                           g_state.sensor_count};
  if ((loaded == 0) != (size >= 4) || settings[1] < 0 || settings[1] >= kBaudRateCount ||
      settings[3] < 0 || settings[3] > kMaxSensorCount || SaveConfig(kNoWindow) != 0 ||
      LoadConfig(kNoWindow) != 0 || settings[0] != g_state.port_number ||
      settings[1] != g_state.baud_index || settings[2] != g_state.save_log ||
      settings[3] != g_state.sensor_count) {
    std::abort();
  }
  return 0;
}
