// The simulated receiver, run as its own process on a pseudo-terminal: what it sends is cut by
// the monitor's frame extraction into exactly what its summary reports.
#include <cstring>
#include <sstream>

#include "reception/frame_extraction.h"
#include "support.h"

namespace {

using Figures = std::map<std::string, long>;

struct Capture {
  Bytes stream;
  Figures summary;
};

// Starts the simulator with --wait-probe, opens its line, sends the probe that sets it going,
// and reads every byte until the simulator closes the line.
Capture CaptureRun(const std::string& arguments) {
  Capture capture;
  std::vector<std::string> words = {"--wait-probe"};
  std::istringstream split(arguments);
  for (std::string word; split >> word;) words.push_back(word);
  Program sim(WSMON_SIM_PATH, words, false);
  std::string device;  // the first line of output
  sim.WaitFor([&device](const std::string& line) { return !(device = line).empty(); });
  ComPortMap ports;
  ports.Set(1, device);
  PosixSerialPort port(ports);
  const PortHandle handle = port.Open(1);
  EXPECT_NE(handle, kInvalidPort) << device;
  if (handle == kInvalidPort) return capture;
  EXPECT_EQ(port.SetBaud(handle, 9600), 1);
  EXPECT_EQ(port.WritePlain(handle, reinterpret_cast<const std::uint8_t*>("ABC"), 3), 3);
  std::uint8_t buffer[64];
  const double give_up = NowMs() + 20000;
  for (int n = 0; n >= 0 && NowMs() < give_up; n = port.Read(handle, buffer, sizeof buffer)) {
    capture.stream.insert(capture.stream.end(), buffer, buffer + n);
  }
  port.Close(handle);
  EXPECT_EQ(sim.Finish(), 0);
  capture.summary = Summary(sim.lines());
  return capture;
}

// What frame extraction makes of a stream fed in chunks as the receive step would append them.
Figures Extract(const Bytes& stream) {
  ResetMonitorState();
  g_state.port_handle = kInvalidPort;  // nothing to purge
  Figures counted;
  for (std::size_t at = 0; at < stream.size();) {
    const std::size_t room = static_cast<std::size_t>(kRxBufferSize - g_state.rx_length);
    const std::size_t take = std::min<std::size_t>({room, stream.size() - at, 97});
    std::memcpy(g_state.rx_buffer + g_state.rx_length, stream.data() + at, take);
    g_state.rx_length += static_cast<int>(take);
    at += take;
    if (g_state.rx_length < kFrameSize) continue;
    counted["stray_bytes"] += ExtractFrames();
    for (int k = 0; k < g_state.frame_count; ++k) {
      const std::uint8_t* frame = g_state.frame_table[k];
      ++counted["frames"];
      if (g_state.frame_status[k] != kFrameGood) {
        ++counted["bad_check"];
      } else if (frame[1] >= kSensorIdLimit) {
        ++counted["high_id"];
      } else {
        ++counted["sensor " + std::to_string(frame[1])];
      }
      counted["missing_temp"] += frame[3] == 0xFF && frame[4] == 0xFF;
      counted["missing_hum"] += frame[5] == 0xFF && frame[6] == 0xFF;
    }
  }
  counted["left_over"] = g_state.rx_length;
  return counted;
}

TEST(SimulatorTest, ExtractionCountsWhatTheSummaryReports) {
  const Capture run = CaptureRun(
      "--no-pace --frames 400 --sensors 5 --interval 5 --jitter 2 --missing 0.1 --stray 0.1 "
      "--bad-check 0.1 --high-id 0.05 --burst 0.1 --split 0.1 --split-pause 3 --linger 150 "
      "--seed 7");
  const Figures& sent = run.summary;
  ASSERT_FALSE(run.stream.empty());
  EXPECT_EQ(sent.at("bytes"), static_cast<long>(run.stream.size()));
  EXPECT_EQ(sent.at("dropped_bytes"), 0);
  EXPECT_EQ(sent.at("frames"), 400);
  Figures counted = Extract(run.stream);
  EXPECT_EQ(counted["left_over"], 0);
  for (const char* key :
       {"frames", "bad_check", "high_id", "stray_bytes", "missing_temp", "missing_hum", "sensor 0",
        "sensor 1", "sensor 2", "sensor 3", "sensor 4"}) {
    EXPECT_GT(sent.at(key), 0) << key;  // every kind of fault was injected
    EXPECT_EQ(counted[key], sent.at(key)) << key;
  }
  EXPECT_GT(sent.at("split"), 0);
  EXPECT_GT(sent.at("bursts"), 0);
}

}  // namespace
