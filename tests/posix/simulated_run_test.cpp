// The whole Linux path: the simulated receiver on a pseudo-terminal sends readings and faults,
// wsmon --headless monitors them, and what wsmon shows agrees with what the receiver reports
// it sent.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>
#include <vector>

#include "wsmon_process.h"

namespace {

// The receiver's summary as KEY -> VALUE ("sensor 7" is one key).
std::map<std::string, long> ReadSummary(ChildProcess* sim) {
  std::map<std::string, long> summary;
  std::string line;
  while (sim->ReadLine(&line, 30000) && line != "end") {
    const std::size_t space = line.rfind(' ');
    if (space != std::string::npos)
      summary[line.substr(0, space)] = std::stol(line.substr(space + 1));
  }
  return summary;
}

TEST(SimulatedRunTest, WhatTheMonitorShowsAgreesWithWhatTheReceiverSent) {
  // One sensor, a transmission every 450 ms, so that every poll sees at most one transmission
  // and none is cut by the purge after a read; faults of every kind. With ten or more sensors
  // the start does not purge, so nothing sent after the probe is lost.
  ChildProcess sim(SimPath(),
                   {"--ids",     "7",   "--interval", "450", "--jitter",    "0",
                    "--frames",  "20",  "--stray",    "0.3", "--bad-check", "0.2",
                    "--high-id", "0.2", "--missing",  "0.2", "--no-pace",   "--wait-probe",
                    "--seed",    "11",  "--linger",   "700"});
  std::string device;
  ASSERT_TRUE(sim.ReadLine(&device, 10000));

  ScratchDirectory dir;
  ChildProcess wsmon(WsmonPath(), {"--headless", "--com", "1=" + device}, dir.path());
  wsmon.Write("settings sensors=10\nopen\nstart\n");
  const std::map<std::string, long> sent = ReadSummary(&sim);
  ASSERT_EQ(sim.Finish(10000), 0);
  wsmon.Write("stop\nexit\n");
  ASSERT_EQ(wsmon.Finish(20000), 0);

  ASSERT_EQ(sent.at("frames"), 20);
  ASSERT_EQ(sent.at("probes"), 1);
  ASSERT_EQ(sent.at("dropped_bytes"), 0);

  const std::regex reading(
      "panel 7 line 0 \"(\\d{3})-(\\+\\d+\\.\\d℃|<----)/(\\d+\\.\\d%RH|---->)\"");
  const std::regex stray("log line \\d+ \"\\d{5} -> \\d\\d:\\d\\d:\\d\\d -- ERR1,L=(\\d+),D:.*\"");
  long readings = 0;
  long missing_temp = 0;
  long missing_hum = 0;
  long stray_lines = 0;
  long stray_bytes = 0;
  long bad_check = 0;
  long high_id = 0;
  std::string good_box;
  std::string bad_box;
  for (const std::string& line : wsmon.lines()) {
    if (line == "> stop") break;
    std::smatch m;
    if (std::regex_match(line, m, reading)) {
      EXPECT_EQ(std::stol(m[1]), readings) << "readings shown out of order or twice: " << line;
      ++readings;
      missing_temp += m[2] == "<----";
      missing_hum += m[3] == "---->";
    } else if (std::regex_match(line, m, stray)) {
      ++stray_lines;
      stray_bytes += std::stol(m[1]);
    } else if (line.find("ERR2,") != std::string::npos) {
      ++bad_check;
    } else if (line.find("ERR5,") != std::string::npos) {
      ++high_id;
    } else if (line.rfind("good \"", 0) == 0) {
      good_box = line;
    } else if (line.rfind("bad \"", 0) == 0) {
      bad_box = line;
    }
    EXPECT_EQ(line.find("ERR3"), std::string::npos) << line;
    EXPECT_EQ(line.find("ERR4"), std::string::npos) << line;
  }
  EXPECT_EQ(readings, sent.at("sensor 7"));
  EXPECT_EQ(missing_temp, sent.at("missing_temp"));
  EXPECT_EQ(missing_hum, sent.at("missing_hum"));
  EXPECT_EQ(stray_lines, sent.at("stray_runs"));
  EXPECT_EQ(stray_bytes, sent.at("stray_bytes"));
  EXPECT_EQ(bad_check, sent.at("bad_check"));
  EXPECT_EQ(high_id, sent.at("high_id"));
  char box[32];
  std::snprintf(box, sizeof box, "good \" %5ld \"", sent.at("sensor 7") + sent.at("high_id"));
  EXPECT_EQ(good_box, box);
  std::snprintf(box, sizeof box, "bad \" %5ld \"", sent.at("stray_runs") + sent.at("bad_check"));
  EXPECT_EQ(bad_box, box);
  // Every kind of fault was exercised.
  EXPECT_GT(sent.at("stray_runs"), 0);
  EXPECT_GT(sent.at("bad_check"), 0);
  EXPECT_GT(sent.at("high_id"), 0);
}

TEST(SimulatedRunTest, SimulateOptionRunsTheReceiverAndExportsTheRun) {
  ScratchDirectory dir;
  ChildProcess wsmon(WsmonPath(),
                     {"--headless", "--simulate", "--sim-arg=--interval", "--sim-arg=300"},
                     dir.path());
  wsmon.Write("settings save=1\nopen\nstart\nwait 2000\nstop\nexit\n");
  ASSERT_EQ(wsmon.Finish(30000), 0);
  const std::vector<std::string>& out = wsmon.lines();
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
  // One export, holding every line shown.
  std::vector<std::string> exports;
  for (const std::string& name : dir.Names()) {
    if (name.rfind("RUVEZ_", 0) == 0) exports.push_back(name);
  }
  ASSERT_EQ(exports.size(), 1u);
  const std::string text = ReadWholeFile(dir.File(exports[0]));
  long crlf = 0;
  for (std::size_t i = 0; i + 1 < text.size(); ++i) crlf += text[i] == '\r' && text[i + 1] == '\n';
  EXPECT_EQ(crlf, added);
}

}  // namespace
