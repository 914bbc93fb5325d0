#include "capture/capture_run.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "app/monitor_state.h"
#include "app/resource_ids.h"
#include "display/counters.h"
#include "frontend/common/simulated_receiver.h"
#include "outputs/outputs.h"
#include "platform/memory/monitor_host.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_serial_port.h"
#include "reception/frame_extraction.h"
#include "support/fakes/memory_file_store.h"

namespace {

constexpr int kSensors = 4;
// The simulator keeps the line open this long after its last frame, so that the receiving
// side has read everything before the line closes.
constexpr const char* kLingerMs = "1500";

double SecondsOf(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

std::vector<std::string> SimArgs(const CapturePoint& point) {
  const bool line_max = point.frames_per_second <= 0;
  const double rate = line_max ? LineMaximum(point.baud) : point.frames_per_second;
  const long frames = std::max(1L, std::lround(rate * point.seconds));
  // Each of the sensors sends every kSensors / rate seconds; at the line maximum they are due
  // far faster than the line carries frames, so the simulator sends back to back at its pace.
  const long interval = line_max ? 1 : std::max(1L, std::lround(1000.0 * kSensors / rate));
  return {"--baud",      std::to_string(point.baud),
          "--sensors",   std::to_string(kSensors),
          "--interval",  std::to_string(interval),
          "--jitter",    std::to_string(interval / 10),
          "--frames",    std::to_string(frames),
          "--seed",      std::to_string(point.seed),
          "--linger",    kLingerMs,
          "--wait-probe"};
}

// Reads the simulator's summary into the result; false when it has none.
bool TakeSummary(const std::vector<std::string>& lines, CaptureResult* result) {
  bool ended = false;
  for (const std::string& line : lines) {
    const std::size_t space = line.rfind(' ');
    if (line == "end") ended = true;
    if (space == std::string::npos) continue;
    const std::string key = line.substr(0, space);
    const long value = std::atol(line.c_str() + space + 1);
    if (key == "frames") result->sent = value;
    if (key == "dropped_bytes") result->dropped_bytes = value;
  }
  if (!ended) result->error = "the simulator printed no summary";
  return ended;
}

// Counts what the monitor reports; the first failed read is the simulator closing its line.
class Tally : public ReadingSink {
 public:
  void OnReading(const ReadingEvent&) override {
    if (!closed) ++readings;
  }
  void OnError(const ErrorEvent& error) override {
    if (closed) return;
    if (error.code == kErrPortRead) {
      closed = true;
      return;
    }
    ++errors;
    err4 += error.code == kErrBufferFull;
  }
  bool closed = false;
  long readings = 0;
  long errors = 0;
  long err4 = 0;
};

// The simulator started for a point, and a serial port whose COM1 is its line.
struct SimulatedLine {
  SimulatedReceiver sim;
  std::unique_ptr<PosixSerialPort> port;

  bool Start(const CapturePoint& point, const std::string& sim_path, std::string* error) {
    if (!sim.Start(sim_path, SimArgs(point), error)) return false;
    ComPortMap ports;
    ports.Set(1, sim.DevicePath());
    port = std::make_unique<PosixSerialPort>(ports);
    return true;
  }
};

// A reader of /events that never reads: its socket's buffers fill, then its queue, and the server
// drops it. -1 when it could not connect.
int StuckReader(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int small = 4096;
  ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const char request[] = "GET /events HTTP/1.1\r\nHost: capture\r\n\r\n";
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::send(fd, request, sizeof request - 1, MSG_NOSIGNAL) < 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// With the network outputs on, the outputs as the programs assemble them, with the stuck reader
// of /events.
struct OutputSide {
  std::unique_ptr<Outputs> outputs;
  int stuck = -1;

  bool Start(const CapturePoint& point, MonitorHost* host, Clock* clock, std::string* error) {
    if (!point.network) return true;
    OutputOptions options;
    NetworkOptions& network = options.network;
    network.http = true;
    network.mqtt = true;
    network.mqtt_endpoint.host = "127.0.0.1";
    network.mqtt_endpoint.port = point.broker_port;
    network.mqtt_topic = "wsmon/capture";
    outputs = Outputs::Start(options, clock, {}, error);
    if (!outputs) return false;
    host->readings().Add(outputs.get());
    host->AddTicker(outputs.get());
    stuck = StuckReader(outputs->http_port());
    if (stuck < 0) *error = "no reader could connect to /events";
    return stuck >= 0;
  }
  ~OutputSide() {
    outputs.reset();
    if (stuck >= 0) ::close(stuck);
  }
};

double Deadline(const CapturePoint& point) {
  return SecondsOf(CLOCK_MONOTONIC) + 1.5 * point.seconds + 10;
}

}  // namespace

double LineMaximum(std::uint32_t baud) {
  return baud / 10.0 / kFrameSize;
}

CaptureResult CaptureWithMonitor(const CapturePoint& point, const std::string& sim_path) {
  CaptureResult result;
  SimulatedLine line;
  if (!line.Start(point, sim_path, &result.error)) return result;
  PosixClock clock;
  MemoryFileStore files("/capture");
  const auto baud_index = static_cast<std::uint8_t>(
      std::find(BaudRates, BaudRates + kBaudRateCount, point.baud) - BaudRates);
  files.PutFile("wscfg.cfg", {1, baud_index, 0, kSensors});
  Tally tally;
  ResetMonitorState();
  {
    MonitorHost host(line.port.get(), &clock, &files);
    host.readings().Add(&tally);
    OutputSide outputs;
    if (!outputs.Start(point, &host, &clock, &result.error)) return result;
    host.Create();
    host.Choose(CMD_OPEN);
    host.Choose(CMD_START);
    if (g_state.running != 1) result.error = "the monitor could not start a run";
    const double give_up = Deadline(point);
    double busy = 0;
    double cpu = 0;
    double first_start = 0;
    double last_start = 0;
    std::vector<std::pair<double, long>> lengths;  // each cycle's, with the frames shown by then
    while (g_state.running == 1 && !tally.closed && SecondsOf(CLOCK_MONOTONIC) < give_up) {
      const long wait_ms = host.MillisecondsToNextPoll();
      if (wait_ms != 0) {
        ::poll(nullptr, 0, wait_ms > 0 ? static_cast<int>(wait_ms) : 1);
        continue;
      }
      const double start = SecondsOf(CLOCK_MONOTONIC);
      const double cpu_start = SecondsOf(CLOCK_THREAD_CPUTIME_ID);
      if (!host.PollIfDue()) {
        ::poll(nullptr, 0, 1);
        continue;
      }
      const double took = SecondsOf(CLOCK_MONOTONIC) - start;
      cpu += SecondsOf(CLOCK_THREAD_CPUTIME_ID) - cpu_start;
      busy += took;
      result.cycle_max_ms = std::max(result.cycle_max_ms, took * 1000);
      lengths.emplace_back(took * 1000, tally.readings);
      if (result.cycles++ == 0) first_start = start;
      last_start = start;
    }
    if (result.cycles > 1) {
      result.period_mean_ms = (last_start - first_start) * 1000 / (result.cycles - 1);
    }
    if (result.cycles > 0) result.cycle_mean_ms = busy * 1000 / result.cycles;
    for (const auto& [ms, shown] : lengths) {
      if (shown < tally.readings) result.steady_max_ms = std::max(result.steady_max_ms, ms);
    }
    if (tally.readings > 0)
      result.cpu_us_per_frame = cpu * 1e6 / static_cast<double>(tally.readings);
    host.Choose(CMD_STOP);
    host.Choose(CMD_EXIT);
  }
  result.received = tally.readings;
  result.errors = tally.errors;
  result.err4 = tally.err4;
  if (!tally.closed && result.error.empty()) result.error = "the line did not close in time";
  result.ok = TakeSummary(line.sim.Stop(), &result) && result.error.empty();
  return result;
}

CaptureResult CaptureWithReader(const CapturePoint& point, const std::string& sim_path) {
  CaptureResult result;
  SimulatedLine line;
  if (!line.Start(point, sim_path, &result.error)) return result;
  PosixSerialPort& port = *line.port;
  const PortHandle handle = port.Open(1);
  if (handle == kInvalidPort || port.SetBaud(handle, point.baud) != 1) {
    result.error = "cannot open " + line.sim.DevicePath();
    return result;
  }
  // The probe sets the simulator going.
  (void)port.WritePlain(handle, reinterpret_cast<const std::uint8_t*>("ABC"), 3);
  // Every byte read goes straight into the accumulation buffer and is cut at once; with no
  // port named, nothing is ever purged.
  ResetMonitorState();
  g_state.port_handle = kInvalidPort;
  const double give_up = Deadline(point);
  std::uint8_t chunk[64];
  for (int n = 0; n >= 0 && SecondsOf(CLOCK_MONOTONIC) < give_up;
       n = port.Read(handle, chunk, sizeof chunk)) {
    std::memcpy(g_state.rx_buffer + g_state.rx_length, chunk, static_cast<std::size_t>(n));
    g_state.rx_length += n;
    if (g_state.rx_length < kFrameSize) continue;
    result.errors += ExtractFrames() > 0 ? 1 : 0;
    for (int k = 0; k < g_state.frame_count; ++k) {
      ++(g_state.frame_status[k] == kFrameGood ? result.received : result.errors);
    }
  }
  port.Close(handle);
  result.ok = TakeSummary(line.sim.Stop(), &result);
  return result;
}
