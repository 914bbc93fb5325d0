// The whole Linux path: the simulated receiver on a pseudo-terminal sends readings and faults,
// wsmon --headless monitors them, and what wsmon shows agrees with what the receiver reports
// it sent.
#include <algorithm>
#include <map>
#include <regex>
#include <sstream>

#include "support.h"

namespace {

// The simulated receiver's summary in output lines: KEY -> VALUE ("sensor 7" is one key).
std::map<std::string, long> Summary(const Lines& lines) {
  std::map<std::string, long> summary;
  auto line = std::find(lines.begin(), lines.end(), "summary 1");
  for (; line != lines.end() && *line != "end"; ++line) {
    const std::size_t space = line->rfind(' ');
    summary[line->substr(0, space)] = std::stol(line->substr(space + 1));
  }
  return summary;
}

struct RunCase {
  const char* name;
  std::uint32_t baud;
  const char* sim_args;
  bool faults;
};

// A plain receiver's every byte reaches the monitor: what it shows and logs agrees exactly with
// what the receiver reports it sent, at the line's full rate and with every kind of fault.
const RunCase kRuns[] = {
    // Four sensors due far more often than the line carries frames: the line never rests.
    {"fault-free at 9600", 9600, "--frames 320 --interval 1 --jitter 0", false},
    {"fault-free at 19200", 19200, "--frames 640 --interval 1 --jitter 0", false},
    {"fault-free at 38400", 38400, "--frames 1280 --interval 1 --jitter 0", false},
    {"every fault at 38400", 38400,
     "--frames 1000 --interval 10 --jitter 5 --stray 0.2 --bad-check 0.1 --high-id 0.1 "
     "--split 0.2 --split-pause 30 --burst 0.2 --missing 0.1",
     true},
};

TEST(SimulatedRunTest, WhatTheMonitorShowsAgreesExactlyWithWhatTheReceiverSent) {
  for (const RunCase& run : kRuns) {
    SCOPED_TRACE(run.name);
    std::vector<std::string> args = {"--baud", std::to_string(run.baud)};
    std::istringstream words(std::string("--sensors 4 --seed 11 --linger 1500 --wait-probe ") +
                             run.sim_args);
    for (std::string word; words >> word;) args.push_back(word);
    Program sim(WSMON_SIM_PATH, args);
    std::string device;  // the first line of output
    ASSERT_TRUE(
        sim.WaitFor([&device](const std::string& line) { return !(device = line).empty(); }));
    ScratchDirectory dir;
    Program wsmon(WSMON_PATH, {"--headless", "--com", "1=" + device}, dir.path());
    // With ten or more sensors the start does not purge, and the panels are one line each.
    wsmon.Write("settings baud=" + std::to_string(run.baud) + " sensors=10\nopen\nstart\n");
    ASSERT_EQ(sim.Finish(), 0);
    std::map<std::string, long> sent = Summary(sim.lines());
    wsmon.Write("stop\nexit\n");
    ASSERT_EQ(wsmon.Finish(), 0);
    // Bytes the line refused would reach the monitor as pieces of frames: nothing to compare.
    ASSERT_EQ(sent.at("dropped_bytes"), 0);

    const std::regex reading("panel (\\d) line 0 \"(\\d{3,})-.*\"");
    const std::regex stray("log line \\d+ \"\\d{5} -> [0-9:]{8} -- ERR1,L=(\\d+),D:.*\"");
    std::map<std::string, long> shown;
    for (const std::string& line : wsmon.lines()) {
      // The receiver's end of the line closes after its last transmission: from then on every
      // poll reports a failed read, until the stop.
      if (line == "> stop" || line.find("ERR3,") != std::string::npos) break;
      std::smatch m;
      if (std::regex_match(line, m, reading)) {
        const std::string sensor = "sensor " + m[1].str();
        EXPECT_EQ(std::stol(m[2]), shown[sensor]++) << "shown out of order or twice: " << line;
        shown["missing_temp"] += line.find("<----") != std::string::npos;
        shown["missing_hum"] += line.find("---->") != std::string::npos;
      } else if (std::regex_match(line, m, stray)) {
        ++shown["stray_runs"];
        shown["stray_bytes"] += std::stol(m[1]);
      }
      const std::size_t bad = line.find("ERR2,");
      if (bad != std::string::npos) {
        // The receiver counts the missing values of the frames it broke too.
        const std::string dump = line.substr(line.find("D:", bad) + 2);
        ++shown["bad_check"];
        shown["missing_temp"] += dump.compare(9, 6, "FF-FF-") == 0;
        shown["missing_hum"] += dump.compare(15, 6, "FF-FF-") == 0;
      }
      shown["high_id"] += line.find("ERR5,") != std::string::npos;
      if (line.rfind("good \"", 0) == 0 || line.rfind("bad \"", 0) == 0) {
        shown[line.substr(0, line.find(' '))] = std::stol(line.substr(line.find('"') + 1));
      }
      EXPECT_THAT(line, Not(HasSubstr("ERR4")));
    }
    long readings = 0;
    for (const char* key : {"sensor 0", "sensor 1", "sensor 2", "sensor 3", "missing_temp",
                            "missing_hum", "stray_bytes", "bad_check", "high_id"}) {
      EXPECT_EQ(shown[key], sent.at(key)) << key;
      readings += std::string(key).rfind("sensor", 0) == 0 ? sent.at(key) : 0;
    }
    EXPECT_EQ(shown["good"], readings + sent.at("high_id"));
    // Stray bytes that two reads or two polls cut apart make two events, so the events are
    // counted from the log rather than from the receiver's runs.
    EXPECT_EQ(shown["bad"], shown["stray_runs"] + sent.at("bad_check"));
    if (run.faults) {
      EXPECT_GT(sent.at("stray_runs") * sent.at("bad_check") * sent.at("high_id") *
                    sent.at("split") * sent.at("bursts") * sent.at("missing_temp"),
                0);
    }
  }
}

}  // namespace
