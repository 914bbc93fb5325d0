// Service mode end to end: wsmon --run with standard input at /dev/null, the simulated receiver
// sending without a pause, runs rotated every second, SIGTERM at the end. Every reading the
// receiver sent is in exactly one export, each run has its own JSON Lines file and recording,
// which replays alone into that run's export, and the last run is exported too.
#include <signal.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "support.h"

namespace {

// Lines that begin with prefix.
int Count(const Lines& lines, const std::string& prefix) {
  return static_cast<int>(
      std::count_if(lines.begin(), lines.end(),
                    [&prefix](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
}

TEST(ServiceRunTest, RotatedRunsTogetherExportEveryReadingOnceAndSigtermExportsTheLast) {
  // About 6 s of a busy line at 9600 baud; the receiver lingers before it closes its end, which
  // throws away what the line still holds.
  Program sim(WSMON_SIM_PATH,
              {"--baud", "9600", "--sensors", "4", "--interval", "5", "--jitter", "0", "--missing",
               "0", "--seed", "7", "--wait-probe", "--frames", "600", "--linger", "3000"});
  std::string device;
  ASSERT_TRUE(sim.WaitFor([&device](const std::string& line) { return !(device = line).empty(); }));
  ScratchDirectory dir;
  // Port 1 at 9600, saving off (service mode exports anyway), 4 sensors.
  {
    std::ofstream config(dir.File("wscfg.cfg"), std::ios::binary);
    config.write("\x01\x00\x00\x04", 4);
  }
  Surroundings around;
  around.closed = {0};
  Program wsmon(WSMON_PATH,
                {"--run", "--rotate", "1s", "--com", "1=" + device, "--json", "run.jsonl",
                 "--record", "bench.rec"},
                dir.path(), around);
  ASSERT_EQ(sim.Finish(), 0);
  std::map<std::string, long> sent;
  for (const std::string& line : sim.lines()) {
    const std::size_t space = line.rfind(' ');
    if (line.rfind("sensor ", 0) == 0) sent[line.substr(0, space)] = std::stol(line.substr(space));
  }
  ASSERT_EQ(sent.size(), 4U);
  ASSERT_TRUE(wsmon.WaitFor([](const std::string& line) { return line == "port lost"; }));
  wsmon.Signal(SIGTERM);
  ASSERT_EQ(wsmon.Finish(), 0);
  // The runs' own lines, no box's; each run is named by its export and summed up at its end.
  const Lines& lines = wsmon.lines();
  EXPECT_EQ(Lines(lines.begin(), lines.begin() + 2), (Lines{"> open", "> start"}));
  EXPECT_EQ(lines.back(), "> exit (signal)");
  EXPECT_EQ(Count(lines, "> stop (signal)"), 1);
  EXPECT_EQ(Count(lines, "panel "), 0);
  const int runs = Count(lines, "> start (rotation)") + 1;
  EXPECT_EQ(Count(lines, "stats run "), runs);

  // Each sensor's readings in the order of the exports; the extra byte is its count.
  std::vector<std::string> exports;
  for (const std::string& line : lines) {
    if (line.rfind("export ", 0) == 0) exports.push_back(line.substr(7));
  }
  ASSERT_EQ(static_cast<int>(exports.size()), runs);
  const std::regex reading("(\\d{3,})-\\d\\d:\\d\\d:\\d\\d-([0-9A-F]{2})-.*");
  std::map<int, std::vector<int>> counts;
  std::vector<long> run_readings;
  for (const std::string& name : exports) {
    std::istringstream text(ReadWholeFile(dir.File(name)));
    int panel = -1;
    int number = 0;
    run_readings.push_back(0);
    for (std::string line; std::getline(text, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.rfind("sensor", 0) == 0) {
        panel = std::stoi(line.substr(6));
        number = 0;
      }
      std::smatch m;
      if (panel < 0 || !std::regex_match(line, m, reading)) continue;
      EXPECT_EQ(std::stoi(m[1]), number++) << name << ": " << line;
      counts[panel].push_back(std::stoi(m[2], nullptr, 16));
      ++run_readings.back();
    }
  }
  EXPECT_GE(std::count_if(run_readings.begin(), run_readings.end(), [](long n) { return n > 0; }),
            3)
      << "two boundaries while the receiver was sending";
  for (const auto& [sensor, seq] : counts) {
    SCOPED_TRACE("sensor " + std::to_string(sensor));
    for (std::size_t i = 1; i < seq.size(); ++i) {
      ASSERT_EQ(seq[i], (seq[i - 1] + 1) % 256) << "lost or shown twice after reading " << i;
    }
    // Frames sent before the first run may fall to the probe's purge at the open: the count
    // starts with the first one shown (the receiver counts from 0).
    EXPECT_EQ(static_cast<long>(seq.size()) + seq.front(),
              sent["sensor " + std::to_string(sensor)]);
  }
  // One JSON Lines file per run, each headed by the port it came from, holding that run's
  // readings.
  std::vector<long> json_readings;
  for (const std::string& name : dir.Names()) {
    if (name.find(".jsonl") == std::string::npos) continue;
    const std::string text = ReadWholeFile(dir.File(name));
    EXPECT_THAT(text, StartsWith("{\"event\":\"header\",")) << name;
    EXPECT_THAT(text.substr(0, text.find('\n')), HasSubstr("\"device\":\"" + device + "\""))
        << name;
    json_readings.push_back(0);
    for (std::size_t at = 0; (at = text.find("{\"event\":\"reading\"", at)) != std::string::npos;
         ++at) {
      ++json_readings.back();
    }
  }
  std::sort(json_readings.begin(), json_readings.end());
  std::sort(run_readings.begin(), run_readings.end());
  EXPECT_EQ(json_readings, run_readings);

  // Each run's recording, played alone, makes that run's export (saving on, as the service
  // saved).
  std::multiset<std::string> exported;
  for (const std::string& name : exports) exported.insert(ReadWholeFile(dir.File(name)));
  std::multiset<std::string> replayed;
  for (const std::string& name : dir.Names()) {
    if (name.rfind("bench_", 0) != 0) continue;
    ScratchDirectory replay_dir;
    std::ofstream(replay_dir.File("wscfg.cfg"), std::ios::binary)
        << std::string("\x01\x00\x01\x04", 4);
    Program replay(WSMON_PATH, {"--headless", "--replay", dir.File(name), "--speed", "max"},
                   replay_dir.path());
    replay.Write("exit\n");
    EXPECT_EQ(replay.Finish(), 0) << name;
    for (const std::string& made : replay_dir.Names()) {
      if (made.rfind("RUVEZ_", 0) == 0 && made.find(".txt") != std::string::npos) {
        replayed.insert(ReadWholeFile(replay_dir.File(made)));
      }
    }
  }
  EXPECT_EQ(replayed.size(), exported.size());
  EXPECT_TRUE(replayed == exported) << "a replayed run's export differs from the run's own";
}

}  // namespace
