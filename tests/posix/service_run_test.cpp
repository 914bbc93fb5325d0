// Service mode end to end: wsmon --run with standard input at /dev/null, the simulated receiver
// sending without a pause, runs rotated every second, SIGTERM at the end. Every reading the
// receiver sent is in exactly one export, each run has its own JSON Lines file, and the last
// run is exported too.
#include <signal.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "support.h"

namespace {

// The exports in the order they were written: by their minute, then _2, _3 ... within it.
std::vector<std::string> InWrittenOrder(std::vector<std::string> names, const char* extension) {
  const std::regex form(std::string("(.*_\\d\\d_\\d\\d)(?:_(\\d+))?\\") + extension);
  std::vector<std::pair<std::pair<std::string, int>, std::string>> keyed;
  for (const std::string& name : names) {
    std::smatch m;
    if (!std::regex_match(name, m, form)) continue;
    keyed.push_back({{m[1].str(), m[2].matched ? std::stoi(m[2]) : 1}, name});
  }
  std::sort(keyed.begin(), keyed.end());
  std::vector<std::string> ordered;
  for (const auto& k : keyed) ordered.push_back(k.second);
  return ordered;
}

int CountOf(const Lines& lines, const std::string& wanted) {
  return static_cast<int>(std::count(lines.begin(), lines.end(), wanted));
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
                {"--run", "--rotate", "1s", "--com", "1=" + device, "--json", "run.jsonl"},
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
  const Lines& lines = wsmon.lines();
  EXPECT_EQ(lines.front(), "> open");
  EXPECT_EQ(lines[1], "> start");
  EXPECT_EQ(CountOf(lines, "> stop (signal)"), 1);
  EXPECT_EQ(lines.back(), "> exit (signal)");
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) { return l.rfind("panel ", 0) == 0; }),
            0);

  const std::vector<std::string> exports = InWrittenOrder(dir.Names(), ".txt");
  const int runs = CountOf(lines, "> start (rotation)") + 1;
  ASSERT_EQ(static_cast<int>(exports.size()), runs);
  // Each run is named by its export and summed up by its stats lines when it ends.
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) { return l.rfind("export RUVEZ_", 0) == 0; }),
            runs);
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) { return l.rfind("stats run ", 0) == 0; }),
            runs);
  // Each sensor's readings, in the order of the exports: the extra byte is its count.
  const std::regex reading("(\\d{3,})-\\d\\d:\\d\\d:\\d\\d-([0-9A-F]{2})-.*");
  std::map<int, std::vector<int>> counts;
  int busy_runs = 0;
  for (const std::string& name : exports) {
    std::istringstream text(ReadWholeFile(dir.File(name)));
    int panel = -1;
    int expected_number = 0;
    for (std::string line; std::getline(text, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.rfind("sensor", 0) == 0) {
        panel = std::stoi(line.substr(6));
        expected_number = 0;
        continue;
      }
      std::smatch m;
      if (panel < 0 || !std::regex_match(line, m, reading)) continue;
      EXPECT_EQ(std::stoi(m[1]), expected_number++) << name << ": " << line;
      counts[panel].push_back(std::stoi(m[2], nullptr, 16));
    }
    busy_runs += expected_number > 0;
  }
  EXPECT_GE(busy_runs, 3) << "two boundaries while the receiver was sending";
  long exported = 0;
  long json_readings = 0;
  for (const auto& [sensor, seq] : counts) {
    SCOPED_TRACE("sensor " + std::to_string(sensor));
    for (std::size_t i = 1; i < seq.size(); ++i) {
      ASSERT_EQ(seq[i], (seq[i - 1] + 1) % 256) << "lost or shown twice after reading " << i;
    }
    // Frames sent before the first run may fall to the probe's purge at the open: the count
    // starts with the first one shown (the receiver counts from 0).
    EXPECT_EQ(static_cast<long>(seq.size()) + seq.front(),
              sent["sensor " + std::to_string(sensor)]);
    exported += static_cast<long>(seq.size());
  }
  const std::vector<std::string> json_files = InWrittenOrder(dir.Names(), ".jsonl");
  EXPECT_EQ(static_cast<int>(json_files.size()), runs);
  for (const std::string& name : json_files) {
    const std::string text = ReadWholeFile(dir.File(name));
    std::size_t at = 0;
    for (; (at = text.find("{\"event\":\"reading\"", at)) != std::string::npos; ++at) {
      ++json_readings;
    }
  }
  EXPECT_EQ(json_readings, exported);
}

}  // namespace
