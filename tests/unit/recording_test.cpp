// A run recorded through the recorder and played back through the replay: the replayed monitor
// shows, tells and exports exactly what the recorded one did; damaged and foreign files.
#include <gmock/gmock.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "app/platform.h"
#include "app/resource_ids.h"
#include "recording/port_recorder.h"
#include "recording/recording_file.h"
#include "recording/replay_player.h"
#include "support/fixture.h"

namespace {

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

// Every event of the reading stream as a line, among the surface's events.
struct StreamText : ReadingSink {
  explicit StreamText(Lines* lines) : out(lines) {}
  static std::string At(std::uint32_t tick, const LocalTime& t) {
    std::string s = " @" + std::to_string(tick) + " ";
    AppendLocalTime(t, &s);
    return s;
  }
  void OnReading(const ReadingEvent& r) override {
    out->push_back("reading " + std::to_string(r.sensor_id) + " " + std::to_string(r.number) +
                   At(r.tick, r.time) + " " + std::to_string(r.interval_ms));
  }
  void OnError(const ErrorEvent& e) override {
    out->push_back("error " + std::to_string(e.code) + " " + std::to_string(e.arg) +
                   At(e.tick, e.time));
  }
  void OnRunStarted() override { out->push_back("run started"); }
  void OnExported(const char* name) override { out->push_back(std::string("exported ") + name); }
  void OnRunStopped(std::uint32_t tick) override {
    out->push_back("run stopped @" + std::to_string(tick));
  }
  void OnPortLost(const PortEvent& e) override { out->push_back("port lost" + At(e.tick, e.time)); }
  void OnPortBack(const PortEvent& e) override {
    out->push_back("port back" + At(e.tick, e.time) + " " + std::to_string(e.outage_ms));
  }
  void OnMonitorStall(const StallEvent& e) override {
    out->push_back("stall" + At(e.tick, e.time) + " " + std::to_string(e.late_ms));
  }
  Lines* out;
};

// A monitor hosted on a port and a clock, with everything it showed and told, in order (the
// poll timer's arming left out: a replay runs only the polls that found something).
struct Hosted {
  Hosted(SerialPort* port, Clock* clock, MemoryFileStore* files)
      : host(port, clock, files), text(&log.events) {
    host.surface().SetObserver(&log);
    host.readings().Add(&text);
  }
  ~Hosted() { host.surface().SetObserver(nullptr); }
  Lines Events() {
    Lines shown;
    for (const std::string& e : log.events) {
      if (e.find("timer") == std::string::npos) shown.push_back(e);
    }
    for (const auto& m : host.surface().Messages()) shown.push_back(m.caption + "|" + m.text);
    return shown;
  }
  MonitorHost host;
  EventLog log;
  StreamText text;
};

class RecordingTest : public ::testing::Test {
 protected:
  RecordingTest() { ResetMonitorState(); }
  ~RecordingTest() override { ResetMonitorState(); }

  // Opens the recording for a replay; false with the refusal in *error.
  bool OpenReplay(const std::string& name, std::string* error) {
    replayed_.reset();
    replay_port_ = std::make_unique<ReplayPort>(&replay_clock_);
    replay_files_.PutFile(name, Bytes(recording_.begin(), recording_.end()));
    return replay_port_->Open(&replay_files_, name, error);
  }
  // Replays the recording in a fresh monitor of the same settings: what it showed, and the
  // player's lines.
  Lines Replay(Lines* notes) {
    ResetMonitorState();
    replay_clock_.SetSpeed(0);  // a replay ends with the clock running in real time
    std::string error;
    EXPECT_TRUE(OpenReplay("run.rec", &error)) << error;
    replay_files_.PutFile("wscfg.cfg", {1, 0, 1, 4});
    replayed_ = std::make_unique<Hosted>(replay_port_.get(), &replay_clock_, &replay_files_);
    replayed_->host.Create();
    ReplayPlayer player(&replayed_->host, replay_port_.get(), &replay_clock_,
                        [notes](const std::string& line) { notes->push_back(line); });
    while (!player.finished()) player.PlayDue(100);
    return replayed_->Events();
  }

  std::string recording_;
  ManualClock real_;  // the replay's own time: never moves, as at full speed
  ReplayClock replay_clock_{&real_};
  MemoryFileStore replay_files_{"/home/operator/replay"};
  std::unique_ptr<ReplayPort> replay_port_;
  std::unique_ptr<Hosted> replayed_;
};

TEST_F(RecordingTest, AReplayedRunShowsTellsAndExportsWhatTheRecordedRunDid) {
  ManualClock clock;
  ScriptedSerialPort port(&clock);
  MemoryFileStore files("/home/operator/run");
  files.PutFile("wscfg.cfg", {1, 0, 1, 4});  // COM1, 9600, saving on, 4 sensors
  PortRecorder recorder(
      &port, &clock, [](int n) { return "COM" + std::to_string(n); },
      [this](const std::string& lines) { recording_ += lines; });
  recorder.Start("wsmon test");
  Lines live;
  Lines live_exports;
  {
    Hosted monitor(&recorder, &recorder, &files);
    g_platform.dispatch = &recorder;
    MonitorHost& host = monitor.host;
    const auto run = [&](std::uint32_t ms) {
      for (std::uint32_t t = 0; t < ms; t += 10) {
        clock.Advance(10);
        host.PollIfDue();
      }
    };
    host.Create();
    host.Choose(CMD_OPEN);
    host.Choose(CMD_START);
    port.Arrive(MakeFrame(0, 1, 0x0171, 0x01C8));
    run(450);
    // The monitor stalls for 3 s, then its polls find nothing for 10 s: the recording keeps
    // only the stall, and the replay, whose clock jumps over those polls, tells that one alone.
    clock.Advance(3000);
    run(10000);
    // Stray bytes before a frame, a broken check byte, a refused id, a frame cut by a poll.
    Bytes bad = MakeFrame(2, 7, 0x0100, 0x0200);
    bad[7] ^= 0x55;
    port.Arrive(
        Concat({{0x11, 0x22}, MakeFrame(1, 1, 0x8010, 0xFFFF), bad, MakeFrame(40, 1, 1, 1)}));
    run(450);
    port.Arrive({0xCC, 0x03, 0x09, 0x20});
    run(450);
    port.Arrive({0x00, 0x50, 0x01, 0x9C, 0xDD});
    run(450);
    // The driver loses bytes; a read is refused (the port is lost) and the port comes back.
    port.LoseInput();
    port.Arrive(MakeFrame(0, 2, 0x0172, 0x01C9));
    run(450);
    port.FailNextRead();
    port.Arrive(MakeFrame(0, 3, 0x0173, 0x01CA));
    run(450);
    port.SetLineLost(true);
    run(450);
    port.SetLineLost(false);
    port.Arrive(MakeFrame(0, 4, 0x0174, 0x01CB));
    run(900);
    host.Choose(CMD_STOP);         // exported
    host.Choose(CMD_STOP + 1000);  // a program's own menu item, which the monitor passes over
    // A run ended by the settings command, a close, an open that fails.
    host.Choose(CMD_START);
    port.Arrive(MakeFrame(1, 2, 0x0020, 0x0100));
    run(450);
    host.ChooseSettings([](MemoryDialog&) { return IDC_EXIT; });
    host.Choose(CMD_CLOSE);
    port.SetPresent(1, false);
    host.Choose(CMD_OPEN);
    port.SetPresent(1, true);
    // An echoing receiver: every block read begins with 5 bytes of its own.
    port.ReplyToWrites({0x41, 0x42, 0x43});
    host.Choose(CMD_OPEN);
    host.Choose(CMD_START);
    port.Arrive(Concat({{0x55, 0xAA, 0x01, 0x00, 0x00}, MakeFrame(3, 9, 0x0150, 0x0123)}));
    run(450);
    host.Choose(CMD_STOP);
    live = monitor.Events();
    for (const std::string& name : files.FilesIn("/home/operator/run")) {
      if (name.find("RUVEZ_") != std::string::npos) live_exports.push_back(name);
    }
    g_platform.dispatch = nullptr;
  }
  recorder.Finish();
  ASSERT_EQ(live_exports.size(), 2u);
  EXPECT_THAT(recording_, HasSubstr(" receiver echo\n"));
  EXPECT_THAT(recording_, HasSubstr(" lost read\n"));
  EXPECT_THAT(recording_, HasSubstr(" overrun\n"));
  EXPECT_EQ(std::count_if(live.begin(), live.end(),
                          [](const std::string& e) { return e.rfind("stall ", 0) == 0; }),
            1);

  Lines notes;
  const Lines replayed_events = Replay(&notes);
  EXPECT_THAT(replayed_events, ElementsAreArray(live));
  for (const std::string& name : live_exports) {
    const std::string base = name.substr(name.rfind('/'));
    EXPECT_EQ(replay_files_.Bytes("/home/operator/replay" + base), files.Bytes(name)) << base;
  }
  EXPECT_EQ(replay_port_->bytes_read(), port.BytesRead());
  ASSERT_FALSE(notes.empty());
  EXPECT_EQ(notes.front(), "> open (replay)");
  EXPECT_THAT(notes.back(), HasSubstr("the recording ends as its program closed it"));
  EXPECT_THAT(notes.back(), ::testing::Not(HasSubstr("passed over")));
}

constexpr LocalTime kNoon = {2024, 5, 3, 1, 12, 0, 0, 0};  // 2024-05-01T12:00:00.000

// A recording of one run with two readings whose last line (of a third) is given.
std::string TwoReadingsAnd(const std::string& last) {
  std::string r = "wsmon-recording 1 wsmon test\n";
  const char* at = " 2024-05-01T12:00:00.000 ";
  r += std::string("100") + at + "menu open\n100" + at + "open 1 /dev/ttyS0\n100" + at +
       "baud 9600\n100" + at + "receiver plain\n200" + at + "menu start\n200" + at +
       "settings port=1 baud=9600 sensors=4 save=0\n";
  for (int i = 0; i < 3; ++i) {
    Record read;
    read.kind = RecordKind::kRead;
    read.tick = static_cast<std::uint32_t>(400 + 400 * i);
    read.time = kNoon;
    read.number = 9;
    read.bytes = MakeFrame(static_cast<std::uint8_t>(i), 1, 0x100, 0x200);
    r += std::to_string(read.tick - 50) + at + "poll\n";
    if (i == 2) return r + last;
    AppendRecord(read, &r);
  }
  return r;
}

TEST_F(RecordingTest, APlayStopsBeforeTheFirstDamagedLineAndSaysWhereAndAForeignFileIsRefused) {
  Record third;
  third.kind = RecordKind::kRead;
  third.tick = 1200;
  third.time = kNoon;
  third.number = 9;
  third.bytes = MakeFrame(2, 1, 0x100, 0x200);
  std::string read;
  AppendRecord(third, &read);
  const std::string whole = TwoReadingsAnd(read);
  // The third reading's line is the 13th, and begins where this ends.
  const std::string at = "line 13 (byte " + std::to_string(TwoReadingsAnd("").size()) + ")";
  const struct {
    const char* what;
    std::string contents;
    std::string said;  // the refusal, or how the play ended
    std::size_t readings;
  } cases[] = {
      {"whole, closed", whole + "1300 2024-05-01T12:00:00.000 end\n",
       "the recording ends as its program closed it", 3},
      {"whole, never closed", whole, "ends without its closing record", 3},
      {"torn last line", TwoReadingsAnd(read.substr(0, 30)), at + " is torn", 2},
      {"bad hex", TwoReadingsAnd(read.substr(0, 40) + "XY\n"),
       at + " is not a record (a malformed \"read\" record)", 2},
      {"unknown kind", TwoReadingsAnd("1250 2024-05-01T12:00:00.000 reed 9 00\n"),
       "an unknown kind of record \"reed\"", 2},
      {"a stall of no length", TwoReadingsAnd("1250 2024-05-01T12:00:00.000 stall 0\n"),
       "a malformed \"stall\" record", 2},
      {"a power cut's NUL bytes", TwoReadingsAnd(std::string(300, '\0')), "holds NUL bytes", 2},
      {"no time", TwoReadingsAnd("1250 12:00:00 poll\n"), "no local time", 2},
      {"empty", "", "run.rec is empty: not a recording", 0},
      {"text", "temperature,humidity\n21.5,40\n",
       "run.rec is not a recording: its first line does not begin with \"wsmon-recording 1\"", 0},
      {"newer", "wsmon-recording 2 wsmon 9.0\n", "a recording of format 2, newer", 0},
      {"binary", std::string(20000, '\x89'), "its first line is too long", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    recording_ = c.contents;
    std::string error;
    if (c.readings == 0) {
      EXPECT_FALSE(OpenReplay("run.rec", &error));
      EXPECT_THAT(error, HasSubstr(c.said));
      continue;
    }
    Lines notes;
    const Lines shown = Replay(&notes);
    EXPECT_EQ(std::count_if(shown.begin(), shown.end(),
                            [](const std::string& e) { return e.rfind("reading ", 0) == 0; }),
              static_cast<long>(c.readings));
    EXPECT_THAT(notes.back(), HasSubstr(c.said));
  }
  std::string error;
  replay_files_.Remove("missing.rec");
  ReplayPort port(&replay_clock_);
  EXPECT_FALSE(port.Open(&replay_files_, "missing.rec", &error));
  EXPECT_EQ(error, "cannot read missing.rec: no such regular file, or no permission to read it");
}

// The memory file store behind a lock: a recording file writes from a thread of its own.
class SharedFiles : public MemoryFileStore {
 public:
  int Write(FileHandle file, const std::uint8_t* src, int count) override {
    std::lock_guard<std::mutex> lock(mutex_);
    return MemoryFileStore::Write(file, src, count);
  }
  void SetRoom(long bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    FailWritesAfter(bytes);
  }

 private:
  std::mutex mutex_;
};

bool Eventually(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!done() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return done();
}

TEST(RecordingFileTest, AFullDiskLeavesNoCutLineAndAGapRecordMarksWhatIsMissing) {
  const auto line = [](int n) {
    return std::to_string(n) + " 2024-05-01T12:00:00.000 read 9 " + std::string(18, 'A') + "\n";
  };
  const std::string head = "wsmon-recording 1 wsmon test\n" + line(1);
  for (const bool disk_comes_back : {true, false}) {
    SCOPED_TRACE(disk_comes_back ? "the disk comes back" : "it stays full");
    SharedFiles files;
    // The disk fills up in the middle of the second record.
    files.SetRoom(static_cast<long>(head.size() + 10));
    Lines told;
    RecordingFile file(
        &files, files.CreateNew("run.rec", nullptr), "run.rec",
        [](std::uint64_t records, std::uint64_t bytes) {
          return "9 2024-05-01T12:00:00.000 gap " + std::to_string(records) + " " +
                 std::to_string(bytes) + "\n";
        },
        [&told](const std::string& text) { told.push_back(text); }, 1);
    file.Put(head + line(2) + line(3));
    ASSERT_TRUE(Eventually([&] { return file.failing(); }));
    file.Put(line(4) + line(5));  // while the disk is full
    if (disk_comes_back) {
      files.SetRoom(-1);
      ASSERT_TRUE(Eventually([&] { return !file.failing(); }));
      file.Put(line(6));
    }
    EXPECT_FALSE(file.Close());
    EXPECT_EQ(file.missing(), disk_comes_back ? 3u : 4u);
    const Bytes bytes = files.Bytes("run.rec");
    const std::string written(bytes.begin(), bytes.end());
    if (disk_comes_back) {
      // The second record finished once there was room; the third to fifth missing, and said.
      const std::size_t gap_bytes = 3 * line(3).size();
      EXPECT_EQ(written, head + line(2) + "9 2024-05-01T12:00:00.000 gap 3 " +
                             std::to_string(gap_bytes) + "\n" + line(6));
      ASSERT_EQ(told.size(), 2u);
      EXPECT_THAT(told[1], HasSubstr("writing again; 3 records missing"));
    } else {
      // Cut where the disk was full: a replay says the last line is torn.
      EXPECT_EQ(written, head + line(2).substr(0, 10));
      ASSERT_EQ(told.size(), 1u);
    }
    EXPECT_THAT(told[0], HasSubstr("run.rec: the disk refuses writes"));
  }
}

}  // namespace
