// A live run recorded with --record and replayed with --replay at full speed: the replay writes
// the event lines, the stats lines, the JSON Lines, the export and the CSV files of the live
// run, byte for byte.
#include <signal.h>

#include <fstream>
#include <memory>

#include "support.h"

namespace {

// The lines that a replay writes as the live run did: the commands read (the live run's from
// its input, the replay's its own) and the replay's account of itself are left out.
Lines Told(const Lines& lines) {
  Lines kept;
  for (const std::string& l : lines) {
    if (l.rfind("> ", 0) != 0 && l.rfind("replay: ", 0) != 0) kept.push_back(l);
  }
  return kept;
}

TEST(RecordReplayTest, AReplayAtFullSpeedWritesWhatTheRecordedRunWrote) {
  ScratchDirectory live_dir;
  ScratchDirectory replay_dir;
  for (const ScratchDirectory* dir : {&live_dir, &replay_dir}) {
    // COM1 at 38400 baud, saving on, 8 sensors: the same settings for both.
    std::ofstream(dir->File("wscfg.cfg"), std::ios::binary) << std::string("\x01\x02\x01\x08", 4);
  }
  const std::string receiver_end = live_dir.File("receiver");
  const std::string monitor_end = live_dir.File("monitor");
  const std::vector<std::string> outputs = {"--json", "events.jsonl", "--csv", "--sequence-byte"};
  std::vector<std::string> args = {"--headless", "--com", "1=" + monitor_end, "--record",
                                   "run.rec"};
  args.insert(args.end(), outputs.begin(), outputs.end());

  auto relay = std::make_unique<Relay>(receiver_end, monitor_end);
  Program live(WSMON_PATH, args, live_dir.path());
  const auto line = [&live](const std::string& prefix, int nth = 1) {
    int seen = 0;
    return live.WaitFor(
        [&](const std::string& l) { return l.rfind(prefix, 0) == 0 && ++seen == nth; }, 30000);
  };
  live.Write("open\nstart\nwait 1\n");
  ASSERT_TRUE(line("> wait 1"));
  // Every kind of fault, readings lost on the air, and the receiver unplugged and back.
  std::vector<std::string> receiver = {
      "--device",  receiver_end, "--baud",  "38400", "--sensors",     "4",   "--interval", "40",
      "--jitter",  "10",         "--stray", "0.1",   "--bad-check",   "0.1", "--high-id",  "0.1",
      "--missing", "0.1",        "--split", "0.2",   "--split-pause", "250", "--burst",    "0.1",
      "--lose",    "0.1",        "--seed"};
  {
    std::vector<std::string> first = receiver;
    first.push_back("3");
    Program sim(WSMON_SIM_PATH, first);
    ASSERT_TRUE(line("log line 3"));
    relay.reset();
    sim.Signal(SIGTERM);
    sim.Finish();
  }
  ASSERT_TRUE(line("port lost"));
  live.Write("wait 500\n");
  ASSERT_TRUE(line("> wait 500"));
  relay = std::make_unique<Relay>(receiver_end, monitor_end);
  ASSERT_TRUE(line("port back "));
  receiver.insert(receiver.end(), {"4", "--frames", "150", "--linger", "500"});
  Program(WSMON_SIM_PATH, receiver).Finish();
  live.Write("wait 300\nstop\nexit\n");
  ASSERT_EQ(live.Finish(), 0);
  const std::string recording = ReadWholeFile(live_dir.File("run.rec"));
  for (const char* kind : {" lost ", " reopen 1 ", " read ", " close\n", " end\n"}) {
    EXPECT_THAT(recording, HasSubstr(kind));
  }

  args = {"--headless", "--replay", live_dir.File("run.rec"), "--speed", "max"};
  args.insert(args.end(), outputs.begin(), outputs.end());
  Program replay(WSMON_PATH, args, replay_dir.path());
  replay.Write("exit\n");
  ASSERT_EQ(replay.Finish(), 0);
  EXPECT_THAT(replay.lines(), Contains(HasSubstr("; the recorded program exited after ")));
  const Lines told = Told(live.lines());
  EXPECT_EQ(Told(replay.lines()), told);
  EXPECT_THAT(told, Contains(StartsWith("stats sensor 3 readings=")));
  EXPECT_THAT(told, Contains(StartsWith("port back ")));
  // The JSON Lines, the export and the CSV files, named by the recorded clock.
  std::vector<std::string> files = live_dir.Names();
  files.erase(std::remove_if(files.begin(), files.end(),
                             [](const std::string& n) {
                               return n != "events.jsonl" && n.rfind("RUVEZ_", 0) != 0;
                             }),
              files.end());
  EXPECT_EQ(files.size(), 5u);
  for (const std::string& name : files) {
    EXPECT_EQ(ReadWholeFile(replay_dir.File(name)), ReadWholeFile(live_dir.File(name))) << name;
  }

  // A file that is no recording is refused, with the reason.
  Surroundings around;
  around.keep_errors = true;
  Program foreign(WSMON_PATH, {"--headless", "--replay", "wscfg.cfg"}, replay_dir.path(), around);
  EXPECT_EQ(foreign.Finish(), 2);
  EXPECT_THAT(foreign.error_lines(),
              Contains("wsmon: wscfg.cfg is not a recording: its first line does not begin with "
                       "\"wsmon-recording 1\""));
}

}  // namespace
