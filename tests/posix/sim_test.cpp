// The simulated receiver, run as its own process on a pseudo-terminal: what it sends is cut by
// the monitor's frame extraction into exactly what its summary reports, the same seed gives the
// same bytes, and an echoing receiver's prefixes are skipped by the monitor's receive path.
#include <signal.h>

#include <cstring>
#include <sstream>

#include "reception/frame_extraction.h"
#include "reception/receive_step.h"
#include "serial/link.h"
#include "support.h"

namespace {

using Figures = std::map<std::string, long>;

// Starts wsmon-sim; *path gets the first line of its output, the device to open.
std::unique_ptr<ChildProcess> StartSim(const std::string& arguments, std::string* path) {
  std::vector<std::string> words;
  std::istringstream split(arguments);
  for (std::string word; split >> word;) words.push_back(word);
  auto sim = std::make_unique<ChildProcess>(WSMON_SIM_PATH, words);
  if (!sim->ReadLine(path, 5000)) path->clear();
  return sim;
}

struct Capture {
  Bytes stream;
  Figures summary;
};

// Starts the simulator with --wait-probe, opens its line, sends the probe that sets it going,
// and reads every byte until the simulator closes the line.
Capture CaptureRun(const std::string& arguments) {
  Capture capture;
  std::string path;
  const std::unique_ptr<ChildProcess> sim = StartSim(arguments + " --wait-probe", &path);
  ComPortMap ports;
  ports.Set(1, path);
  PosixSerialPort port(ports);
  const PortHandle handle = port.Open(1);
  EXPECT_NE(handle, kInvalidPort) << path;
  if (handle == kInvalidPort) return capture;
  EXPECT_EQ(port.SetBaud(handle, 9600), 1);
  EXPECT_EQ(port.WritePlain(handle, reinterpret_cast<const std::uint8_t*>("ABC"), 3), 3);
  std::uint8_t buffer[64];
  const double give_up = NowMs() + 20000;
  for (int n = 0; n >= 0 && NowMs() < give_up; n = port.Read(handle, buffer, sizeof buffer)) {
    capture.stream.insert(capture.stream.end(), buffer, buffer + n);
  }
  port.Close(handle);
  EXPECT_EQ(sim->Finish(10000), 0);
  capture.summary = Summary(sim->lines());
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

TEST(SimulatorTest, TheSameSeedGivesTheSameBytes) {
  const std::string traffic =
      "--no-pace --frames 60 --interval 5 --jitter 2 --stray 0.2 --bad-check 0.2 --burst 0.2 "
      "--linger 100 --seed ";
  const Capture first = CaptureRun(traffic + "42");
  ASSERT_FALSE(first.stream.empty());
  EXPECT_EQ(CaptureRun(traffic + "42").stream, first.stream);
  EXPECT_NE(CaptureRun(traffic + "43").stream, first.stream);
}

TEST(SimulatorTest, AnEchoingReceiversPrefixesAreSkippedByTheReceivePath) {
  // A poll cycle with a read lasts about 300 ms; transmissions 500 ms apart never arrive while
  // the monitor reads another, so each block it reads begins with the receiver's prefix.
  std::string path;
  const auto sim =
      StartSim("--echo --wait-probe --sensors 1 --frames 3 --interval 500 --jitter 0", &path);
  MonitorOnLine monitor(path);
  ASSERT_EQ(OpenLink(), 1);
  ProbeLink();
  ASSERT_EQ(g_state.rx_skip, 5);
  Bytes extras;
  int strays = 0;
  const double give_up = NowMs() + 5000;
  while (extras.size() < 3 && NowMs() < give_up) {
    if (ReceiveStep() == kReceiveFrameReady) {
      strays += ExtractFrames();
      for (int k = 0; k < g_state.frame_count; ++k) {
        EXPECT_EQ(g_state.frame_status[k], kFrameGood);
        extras.push_back(g_state.frame_table[k][2]);
      }
    }
    monitor.clock()->Sleep(200);
  }
  EXPECT_EQ(extras, Bytes({0, 1, 2})) << "the sensor's readings in order, none lost";
  EXPECT_EQ(strays, 0);
  CloseLink();
  sim->Signal(SIGTERM);
  EXPECT_EQ(sim->Finish(10000), 0);
  EXPECT_EQ(Summary(sim->lines()).at("prefix_bytes"), 15);
}

TEST(SimulatorTest, AMalformedOptionIsRefusedBeforeTheLineIsSetUp) {
  ChildProcess sim(WSMON_SIM_PATH, {"--stray", "2"});
  EXPECT_EQ(sim.Finish(5000), 2);
  EXPECT_TRUE(sim.lines().empty()) << "no device path for a run that never starts";
}

}  // namespace
