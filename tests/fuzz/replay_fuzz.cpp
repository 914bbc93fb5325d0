// Any file offered as a recording: it is refused with a message, or played through the whole
// monitor to the end, whatever it holds; every record read writes back as a line that reads
// back as the same record.
#include <cstdlib>
#include <vector>

#include "app/monitor_state.h"
#include "recording/replay_player.h"
#include "support/fakes/manual_clock.h"
#include "support/fakes/memory_file_store.h"

namespace {

bool Same(const Record& a, const Record& b) {
  std::string x, y;
  AppendRecord(a, &x);
  AppendRecord(b, &y);
  return x == y;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  MemoryFileStore files(".");
  const std::vector<std::uint8_t> bytes(data, data + size);
  files.PutFile("run.rec", bytes);
  files.PutFile("wscfg.cfg", {1, 0, 1, 4});

  RecordingReader reader;
  std::string error;
  if (reader.Open(&files, "run.rec", &error)) {
    for (Record r; reader.Next(&r);) {
      std::string line;
      AppendRecord(r, &line);
      Record again;
      std::string why;
      if (!ParseRecord(line.data(), line.size() - 1, &again, &why) || !Same(r, again)) {
        std::abort();
      }
    }
  } else if (error.empty()) {
    std::abort();
  }

  ResetMonitorState();
  ManualClock real;
  ReplayParts replay(&real, 0);
  if (!replay.port.Open(&files, "run.rec", &error)) return 0;
  {
    MonitorHost host(&replay.port, &replay.clock, &files);
    host.Create();
    ReplayPlayer player(&host, &replay.port, &replay.clock, [](const std::string&) {});
    while (!player.finished() && !host.Ended()) player.PlayDue(64);
  }
  ResetMonitorState();
  return 0;
}
