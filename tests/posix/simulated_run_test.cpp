// The whole Linux path: the simulated receiver on a pseudo-terminal sends readings and faults,
// wsmon --headless monitors them, and what wsmon shows agrees with what the receiver reports
// it sent.
#include <regex>

#include "support.h"

namespace {

TEST(SimulatedRunTest, WhatTheMonitorShowsAgreesWithWhatTheReceiverSent) {
  // One sensor, a transmission every 600 ms: a poll reads one transmission within about 350 ms
  // of its arrival, so none is cut by the purge after a read even when the machine is busy.
  // With ten or more sensors the start does not purge, so nothing sent after the probe is lost.
  Program sim(WSMON_SIM_PATH,
              {"--ids",     "7",   "--interval", "600", "--jitter",    "0",
               "--frames",  "12",  "--stray",    "0.3", "--bad-check", "0.2",
               "--high-id", "0.2", "--missing",  "0.2", "--no-pace",   "--wait-probe",
               "--seed",    "11",  "--linger",   "1500"},
              false);
  std::string device;  // the first line of output
  ASSERT_TRUE(sim.WaitFor([&device](const std::string& line) { return !(device = line).empty(); }));
  ScratchDirectory dir;
  Program wsmon(WSMON_PATH, {"--headless", "--com", "1=" + device}, true, dir.path());
  wsmon.Write("settings sensors=10\nopen\nstart\n");
  ASSERT_EQ(sim.Finish(), 0);
  const std::map<std::string, long> sent = Summary(sim.lines());
  wsmon.Write("stop\nexit\n");
  ASSERT_EQ(wsmon.Finish(), 0);
  ASSERT_EQ(sent.at("frames"), 12);
  ASSERT_EQ(sent.at("dropped_bytes"), 0);

  const std::regex reading(
      "panel 7 line 0 \"(\\d{3})-(\\+\\d+\\.\\d℃|<----)/(\\d+\\.\\d%RH|---->)\"");
  const std::regex stray("log line \\d+ \"\\d{5} -> \\d\\d:\\d\\d:\\d\\d -- ERR1,L=(\\d+),D:.*\"");
  std::map<std::string, long> shown;
  for (const std::string& line : wsmon.lines()) {
    // The receiver's end of the line closes after its last transmission: from then on every
    // poll reports a failed read, until the stop.
    if (line == "> stop" || line.find("ERR3,") != std::string::npos) break;
    std::smatch m;
    if (std::regex_match(line, m, reading)) {
      EXPECT_EQ(std::stol(m[1]), shown["sensor 7"]++) << "shown out of order or twice: " << line;
      shown["missing_temp"] += m[2] == "<----";
      shown["missing_hum"] += m[3] == "---->";
    } else if (std::regex_match(line, m, stray)) {
      ++shown["stray_runs"];
      shown["stray_bytes"] += std::stol(m[1]);
    }
    shown["bad_check"] += line.find("ERR2,") != std::string::npos;
    shown["high_id"] += line.find("ERR5,") != std::string::npos;
    if (line.rfind("good \"", 0) == 0 || line.rfind("bad \"", 0) == 0) {
      shown[line.substr(0, line.find(' '))] = std::stol(line.substr(line.find('"') + 1));
    }
    EXPECT_EQ(line.find("ERR4"), std::string::npos) << line;
  }
  for (const char* key : {"sensor 7", "missing_temp", "missing_hum", "stray_runs", "stray_bytes",
                          "bad_check", "high_id"}) {
    EXPECT_EQ(shown[key], sent.at(key)) << key;
  }
  EXPECT_EQ(shown["good"], sent.at("sensor 7") + sent.at("high_id"));
  EXPECT_EQ(shown["bad"], sent.at("stray_runs") + sent.at("bad_check"));
  // Every kind of fault was exercised.
  EXPECT_GT(sent.at("stray_runs") * sent.at("bad_check") * sent.at("high_id"), 0);
}

TEST(SimulatedRunTest, SimulateOptionRunsTheReceiverAndExportsEveryLineShown) {
  ScratchDirectory dir;
  Program wsmon(WSMON_PATH, {"--headless", "--simulate", "--sim-arg=--interval", "--sim-arg=300"},
                true, dir.path());
  wsmon.Write("settings save=1\nopen\nstart\nwait 2000\nstop\nexit\n");
  ASSERT_EQ(wsmon.Finish(), 0);
  const Lines& out = wsmon.lines();
  ASSERT_FALSE(out.empty());
  EXPECT_EQ(out[0].rfind("sim device /dev/pts/", 0), 0u) << out[0];
  EXPECT_EQ(out.back(), "sim end");
  // Lines added during the run: the four header lines, the readings, any error lines.
  long added = 0;
  long readings = 0;
  bool in_run = false;
  for (const std::string& line : out) {
    if (line == "> start" || line == "> stop") in_run = line == "> start";
    if (!in_run || line.find(" line ") == std::string::npos) continue;
    ++added;
    readings += line.rfind("panel ", 0) == 0 && line.find("\"sensor") == std::string::npos;
  }
  EXPECT_GT(readings, 0);
  const std::vector<std::string> names = dir.Names();  // the configuration and one export
  ASSERT_EQ(names.size(), 2u);
  ASSERT_EQ(names[0].rfind("RUVEZ_", 0), 0u);
  const std::string text = ReadWholeFile(dir.File(names[0]));
  long crlf = 0;
  for (std::size_t i = 0; i + 1 < text.size(); ++i) crlf += text[i] == '\r' && text[i + 1] == '\n';
  EXPECT_EQ(crlf, added);
}

}  // namespace
