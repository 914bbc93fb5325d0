// The simulated receiver, run as its own process on a pseudo-terminal: what it sends is cut by
// the monitor's frame extraction into exactly what its summary reports, the same seed gives the
// same bytes, and it answers the probe as an echoing or a silent receiver.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstring>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/monitor_state.h"
#include "app/platform.h"
#include "pseudo_terminal.h"
#include "reception/frame_extraction.h"
#include "reception/receive_step.h"
#include "serial/link.h"
#include "wsmon_process.h"

namespace {

// "KEY VALUE" lines up to "end"; "sensor ID N" becomes the key "sensor ID".
std::map<std::string, long> ParseSummary(const std::string& text) {
  std::map<std::string, long> figures;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line) && line != "end") {
    const std::string::size_type last = line.rfind(' ');
    if (last == std::string::npos) continue;
    figures[line.substr(0, last)] = std::stol(line.substr(last + 1));
  }
  return figures;
}

// Starts wsmon-sim; *path gets the first line of its output, the device to open.
std::unique_ptr<ChildProcess> StartSim(const std::string& arguments, std::string* path) {
  std::vector<std::string> words;
  std::istringstream split(arguments);
  for (std::string word; split >> word;) words.push_back(word);
  auto sim = std::make_unique<ChildProcess>(SimPath(), words);
  if (!sim->ReadLine(path, 5000)) path->clear();
  return sim;
}

// Waits for the simulator to end and gives its summary.
std::map<std::string, long> FinishSim(ChildProcess* sim) {
  EXPECT_EQ(sim->Finish(10000), 0);
  std::string text;
  for (const std::string& line : sim->lines()) text += line + "\n";
  return ParseSummary(text);
}

struct Capture {
  Bytes stream;
  std::map<std::string, long> summary;
};

// Starts the simulator with --wait-probe, opens its line, sends the probe that sets it going,
// and reads every byte until the simulator closes the line.
Capture CaptureRun(const std::string& arguments) {
  Capture capture;
  std::string path;
  const std::unique_ptr<ChildProcess> sim = StartSim(arguments + " --wait-probe", &path);
  EXPECT_FALSE(path.empty());
  ComPortMap ports;
  ports.Set(1, path);
  PosixSerialPort port(ports);
  const PortHandle handle = port.Open(1);
  EXPECT_NE(handle, kInvalidPort);
  if (handle == kInvalidPort) return capture;
  EXPECT_EQ(port.SetBaud(handle, 9600), 1);
  const std::uint8_t probe[3] = {0x41, 0x42, 0x43};
  EXPECT_EQ(port.WritePlain(handle, probe, 3), 3);
  std::uint8_t buffer[64];
  const double give_up = NowMs() + 20000;
  for (;;) {
    const int n = port.Read(handle, buffer, sizeof buffer);
    if (n < 0 || NowMs() > give_up) break;
    capture.stream.insert(capture.stream.end(), buffer, buffer + n);
  }
  port.Close(handle);
  capture.summary = FinishSim(sim.get());
  EXPECT_EQ(capture.summary.count("frames"), 1u) << "no summary";
  return capture;
}

// What frame extraction makes of a stream fed in chunks as the receive step would append them.
std::map<std::string, long> Extract(const Bytes& stream) {
  ResetMonitorState();
  g_state.port_handle = kInvalidPort;  // nothing to purge
  std::map<std::string, long> counted;
  std::size_t at = 0;
  while (at < stream.size()) {
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
      if (frame[3] == 0xFF && frame[4] == 0xFF) ++counted["missing_temp"];
      if (frame[5] == 0xFF && frame[6] == 0xFF) ++counted["missing_hum"];
    }
  }
  counted["left_over"] = g_state.rx_length;
  return counted;
}

constexpr char kFaultyTraffic[] =
    "--no-pace --frames 400 --sensors 5 --interval 5 --jitter 2 --missing 0.1 --stray 0.1 "
    "--bad-check 0.1 --high-id 0.05 --burst 0.1 --split 0.1 --split-pause 3 --linger 150";

TEST(SimulatorTest, ExtractionCountsWhatTheSummaryReports) {
  const Capture run = CaptureRun(std::string(kFaultyTraffic) + " --seed 7");
  const std::map<std::string, long>& sent = run.summary;
  ASSERT_FALSE(run.stream.empty());
  EXPECT_EQ(sent.at("bytes"), static_cast<long>(run.stream.size()));
  EXPECT_EQ(sent.at("dropped_bytes"), 0);
  EXPECT_EQ(sent.at("frames"), 400);
  // Every kind of fault was actually injected.
  for (const char* fault :
       {"bad_check", "high_id", "stray_bytes", "split", "bursts", "missing_temp", "missing_hum"}) {
    EXPECT_GT(sent.at(fault), 0) << fault;
  }

  std::map<std::string, long> counted = Extract(run.stream);
  EXPECT_EQ(counted["left_over"], 0);
  for (const char* key :
       {"frames", "bad_check", "high_id", "stray_bytes", "missing_temp", "missing_hum"}) {
    EXPECT_EQ(counted[key], sent.at(key)) << key;
  }
  for (int id = 0; id < 5; ++id) {
    const std::string key = "sensor " + std::to_string(id);
    EXPECT_GT(sent.at(key), 0) << key;
    EXPECT_EQ(counted[key], sent.at(key)) << key;
  }
}

TEST(SimulatorTest, TheSameSeedGivesTheSameBytes) {
  const std::string traffic =
      "--no-pace --frames 60 --interval 5 --jitter 2 --stray 0.2 "
      "--bad-check 0.2 --burst 0.2 --linger 100";
  const Capture first = CaptureRun(traffic + " --seed 42");
  const Capture again = CaptureRun(traffic + " --seed 42");
  const Capture other = CaptureRun(traffic + " --seed 43");
  ASSERT_FALSE(first.stream.empty());
  EXPECT_EQ(first.stream, again.stream);
  EXPECT_EQ(first.summary, again.summary);
  EXPECT_NE(first.stream, other.stream);
}

TEST(SimulatorLinkTest, ASilentReceiverLeavesTheSkipAtZero) {
  std::string path;
  const auto sim = StartSim("--frames 1 --interval 50 --wait-probe --linger 0", &path);
  MonitorOnLine monitor(path);
  ASSERT_EQ(OpenLink(), 1);
  g_state.rx_skip = 5;
  ProbeLink();
  EXPECT_EQ(g_state.rx_skip, 0);
  CloseLink();
  const std::map<std::string, long> summary = FinishSim(sim.get());
  EXPECT_EQ(summary.at("probes"), 1);
  EXPECT_EQ(summary.at("probe_replies"), 0);
}

// The monitor's own link and receive path against the simulator.
TEST(SimulatorLinkTest, AnEchoingReceiversPrefixesAreSkippedByTheReceivePath) {
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
  int bad = 0;
  const double give_up = NowMs() + 5000;
  while (extras.size() < 3 && NowMs() < give_up) {
    if (ReceiveStep() == kReceiveFrameReady) {
      strays += ExtractFrames();
      for (int k = 0; k < g_state.frame_count; ++k) {
        if (g_state.frame_status[k] != kFrameGood || g_state.frame_table[k][1] != 0) {
          ++bad;
        } else {
          extras.push_back(g_state.frame_table[k][2]);
        }
      }
    }
    monitor.clock()->Sleep(200);
  }
  EXPECT_EQ(extras, Bytes({0, 1, 2})) << "the sensor's readings in order, none lost";
  EXPECT_EQ(strays, 0);
  EXPECT_EQ(bad, 0);
  CloseLink();
  sim->Signal(SIGTERM);
  const std::map<std::string, long> summary = FinishSim(sim.get());
  EXPECT_EQ(summary.at("probe_replies"), 1);
  EXPECT_EQ(summary.at("prefix_bytes"), 15);
}

TEST(SimulatorTest, AMalformedOptionIsRefusedBeforeTheLineIsSetUp) {
  ChildProcess sim(SimPath(), {"--stray", "2"});
  EXPECT_EQ(sim.Finish(5000), 2);
  EXPECT_TRUE(sim.lines().empty()) << "no device path for a run that never starts";
}

}  // namespace
