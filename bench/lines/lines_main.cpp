// wsmon_lines (run by make bench): a long run through the whole core on a manual clock, four
// sensors with saving on, its files in a scratch directory under the system's temporary
// directory: the peak resident memory at 10^5, 10^6 and 10^7 lines, and the export at the stop
// (its time and the peak memory afterwards).
//
// Usage: wsmon_lines [LINES]   (default 10000000; the milestones beyond LINES are left out)
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/monitor_state.h"
#include "app/poll_cycle.h"
#include "app/resource_ids.h"
#include "platform/memory/monitor_host.h"
#include "platform/posix/posix_file_store.h"
#include "support/fakes/manual_clock.h"
#include "support/fakes/scripted_serial_port.h"
#include "support/frames.h"

namespace {

using Wall = std::chrono::steady_clock;

long PeakResidentKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

double SecondsSince(Wall::time_point start) {
  return std::chrono::duration<double>(Wall::now() - start).count();
}

// 35 readings of sensors 0 to 3, as much as one read of the poll takes; the values move so that
// the lines differ as a real run's do.
Bytes Chunk(unsigned round) {
  Bytes chunk;
  for (unsigned i = 0; i < 35; ++i) {
    const unsigned n = round * 35 + i;
    const Bytes f = MakeFrame(static_cast<std::uint8_t>(i % 4), static_cast<std::uint8_t>(n),
                              static_cast<std::uint16_t>(200 + n % 300),
                              static_cast<std::uint16_t>(300 + n % 500));
    chunk.insert(chunk.end(), f.begin(), f.end());
  }
  return chunk;
}

long long FileSize(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

}  // namespace

int main(int argc, char** argv) {
  const long long total = argc > 1 ? std::atoll(argv[1]) : 10000000LL;
  const char* tmp = std::getenv("TMPDIR");
  std::string dir =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/wsmon-lines-XXXXXX";
  if (mkdtemp(&dir[0]) == nullptr || chdir(dir.c_str()) != 0) {
    std::perror("wsmon_lines: scratch directory");
    return 1;
  }
  {
    std::FILE* config = std::fopen("wscfg.cfg", "wb");
    const unsigned char settings[4] = {1, 0, 1, 4};  // COM1, 9600, saving on, 4 sensors
    if (config == nullptr || std::fwrite(settings, 1, 4, config) != 4 || std::fclose(config) != 0)
      return 1;
  }
  ManualClock clock;
  ScriptedSerialPort port(&clock);
  PosixFileStore files;
  int status = 0;
  {
    MonitorHost host(&port, &clock, &files);
    host.Create();
    host.Choose(CMD_OPEN);
    host.Choose(CMD_START);
    const int headers = g_state.panel_count;
    std::printf("lines      seconds  peak RSS (kB)\n");
    const auto start = Wall::now();
    long long next = 100000;
    for (unsigned round = 0; g_state.good_frames + headers < total; ++round) {
      const Bytes chunk = Chunk(round % 4096);
      PollChunk(chunk.data(), chunk.size());
      clock.Advance(200);
      const long long lines = g_state.good_frames + headers;
      if (lines >= next) {
        std::printf("%-10lld %7.1f  %ld\n", next, SecondsSince(start), PeakResidentKb());
        std::fflush(stdout);
        next *= 10;
      }
    }
    const long long lines = g_state.good_frames + headers;
    const auto stop = Wall::now();
    host.Choose(CMD_STOP);
    const double seconds = SecondsSince(stop);
    const std::string name = g_state.log_file_name;
    std::printf("export of %lld lines: %.2f s, %lld bytes, peak RSS %ld kB\n", lines, seconds,
                FileSize(name), PeakResidentKb());
    if (FileSize(name) <= 0) status = 1;
    host.Choose(CMD_EXIT);
  }
  const std::string clear = "rm -rf '" + dir + "'";
  if (std::system(clear.c_str()) != 0) status = 1;
  return status;
}
