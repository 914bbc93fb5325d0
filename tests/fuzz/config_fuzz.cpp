// Any configuration file: loading leaves no setting where the monitor cannot use it, and what is
// saved loads back as the same settings.
#include <cstdlib>
#include <vector>

#include "app/monitor_state.h"
#include "app/platform.h"
#include "settings/config_file.h"
#include "support/fakes/memory_file_store.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  MemoryFileStore files(".");
  ResetMonitorState();
  g_platform = Platform{nullptr, nullptr, nullptr, &files};
  g_state.start_directory[0] = '.';
  files.PutFile("wscfg.cfg", std::vector<std::uint8_t>(data, data + size));
  const bool loaded = LoadConfig(kNoWindow) == 0;
  const int read[4] = {g_state.port_number, g_state.baud_index, g_state.save_log,
                       g_state.sensor_count};
  if (loaded != (size >= 4) || read[1] < 0 || read[1] >= kBaudRateCount || read[3] < 0 ||
      read[3] > kMaxSensorCount || SaveConfig(kNoWindow) != 0 || LoadConfig(kNoWindow) != 0 ||
      read[0] != g_state.port_number || read[1] != g_state.baud_index ||
      read[2] != g_state.save_log || read[3] != g_state.sensor_count) {
    std::abort();
  }
  return 0;
}
