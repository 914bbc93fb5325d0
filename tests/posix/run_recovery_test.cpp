// What is left of a run when the monitor or the machine dies, end to end: wsmon --headless on
// the simulated receiver, killed with SIGKILL at random moments, or with its disk copied at the
// moment of the kill as a power cut would leave it, or filling its disk; then wsmon --recover.
// The recovered export is compared, byte for byte, with the export rebuilt from the event lines
// the monitor had shown.
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <regex>
#include <thread>

#include "platform/posix/serial_device_list.h"
#include "settings/export_log.h"
#include "support.h"

namespace {

// The text of a quoted event field: "TEXT" with \\, \" and \xNN.
std::string Unquoted(const std::string& quoted) {
  std::string text;
  for (std::size_t i = 1; i + 1 < quoted.size(); ++i) {
    if (quoted[i] != '\\') {
      text += quoted[i];
    } else if (quoted[i + 1] == 'x') {
      text += static_cast<char>(std::stoi(quoted.substr(i + 2, 2), nullptr, 16));
      i += 3;
    } else {
      text += quoted[++i];
    }
  }
  return text;
}

// The export of the run that a stream of event lines shows: the lines of every panel, then the
// error log's, as the stop would write them at that point.
class ShownRun {
 public:
  // Takes the next event line (those before the run's start change nothing).
  void Take(const std::string& line) {
    if (line == "> start") started_ = true;
    if (!started_) return;
    std::smatch m;
    if (std::regex_match(line, m, kPanelLine)) {
      panels_[std::stoi(m[1])].push_back(Unquoted(m[2]));
    } else if (std::regex_match(line, m, kPanelEmptied)) {
      panels_[std::stoi(m[1])].clear();
    } else if (line.rfind("log line ", 0) == 0) {
      log_.push_back(Unquoted(line.substr(line.find('"'))));
    } else if (line == "log emptied") {
      log_.clear();
    }
  }
  std::string Export() const {
    std::string bytes;
    const auto add = [&bytes](const std::string& line) {
      std::uint8_t out[700];
      const std::size_t n = EncodeExportLine(line.data(), line.size(), out, sizeof out);
      bytes.append(reinterpret_cast<const char*>(out), n);
    };
    for (const auto& panel : panels_) {
      for (const std::string& line : panel.second) add(line);
    }
    for (const std::string& line : log_) add(line);
    return bytes;
  }
  std::size_t Lines() const {
    std::size_t n = log_.size();
    for (const auto& panel : panels_) n += panel.second.size();
    return n;
  }

 private:
  const std::regex kPanelLine{R"(panel (\d+) line \d+ (".*"))"};
  const std::regex kPanelEmptied{R"(panel (\d+) emptied)"};
  bool started_ = false;
  std::map<int, ::Lines> panels_;
  ::Lines log_;
};

// How the recovered export compares with what the monitor showed: the number of event lines
// after which the shown run equals it (0 when no point does), and the run's lines then.
struct Match {
  std::size_t events = 0;
  std::size_t lines = 0;
};
Match FindShown(const Lines& events, std::size_t from, const std::string& recovered) {
  ShownRun shown;
  for (std::size_t k = 0; k < events.size(); ++k) {
    shown.Take(events[k]);
    if (k + 1 >= from && shown.Export() == recovered) return {k + 1, shown.Lines()};
  }
  return {};
}

// The only recovered file in a directory that ends so ("" when there is not exactly one).
std::string RecoveredExport(const std::string& dir, const std::string& end = "_recovered.txt") {
  std::string found;
  int count = 0;
  for (const std::string& name : DirectoryEntries(dir)) {
    if (name.size() > end.size() && name.compare(name.size() - end.size(), end.size(), end) == 0) {
      found = ReadWholeFile(dir + "/" + name);
      ++count;
    }
  }
  return count == 1 ? found : "";
}

void WriteSettings(const std::string& dir, int sensors) {
  // COM1 at 38400 baud, saving on.
  std::ofstream(dir + "/wscfg.cfg", std::ios::binary)
      << std::string{1, 2, 1, static_cast<char>(sensors)};
}

// The simulated receiver at the line's full rate, with some faults for the error log.
std::vector<std::string> SimArgs(int sensors, int seed) {
  return {"--baud",      "38400",
          "--sensors",   std::to_string(sensors),
          "--interval",  "60",
          "--seconds",   "50",
          "--seed",      std::to_string(seed),
          "--bad-check", "0.02",
          "--high-id",   "0.02",
          "--stray",     "0.02"};
}

// A monitor running a run with saving on in dir against a simulated receiver; the test records,
// while it waits, how many event lines had been shown by when.
class RunningMonitor {
 public:
  RunningMonitor(const std::string& dir, int sensors, int seed,
                 const std::vector<std::string>& options = {})
      : sim_(WSMON_SIM_PATH, SimArgs(sensors, seed)) {
    WriteSettings(dir, sensors);
    std::string device;
    if (!sim_.WaitFor([&device](const std::string& line) { return !(device = line).empty(); }))
      return;
    Surroundings around;
    around.keep_errors = true;
    std::vector<std::string> args{"--headless", "--com", "1=" + device};
    args.insert(args.end(), options.begin(), options.end());
    wsmon_ = std::make_unique<Program>(WSMON_PATH, args, dir, around);
    wsmon_->Write("open\nstart\n");
    started_ = wsmon_->WaitFor([](const std::string& line) {
      return line.rfind("panel", 0) == 0 && line.find(" line ") != line.npos;
    });
  }
  ~RunningMonitor() {
    sim_.Signal(SIGTERM);
    sim_.Finish();
  }
  bool started() const { return started_; }
  Program& wsmon() { return *wsmon_; }
  // Lets the run go on for ms milliseconds, noting what had been shown every few milliseconds.
  void Watch(double ms) {
    const double end = NowMs() + ms;
    while (NowMs() < end) {
      shown_.emplace_back(NowMs(), wsmon_->lines().size());
      std::this_thread::sleep_for(std::chrono::milliseconds(15));
    }
  }
  // Event lines shown by the time at (of NowMs).
  std::size_t ShownBy(double at) const {
    std::size_t lines = 0;
    for (const auto& [when, count] : shown_) {
      if (when <= at) lines = count;
    }
    return lines;
  }
  // Lines of its standard error that hold text.
  long Said(const std::string& text) const {
    const Lines said = wsmon_->error_lines();
    return std::count_if(said.begin(), said.end(),
                         [&text](const std::string& line) { return line.find(text) != line.npos; });
  }

 private:
  Program sim_;
  std::unique_ptr<Program> wsmon_;
  bool started_ = false;
  std::vector<std::pair<double, std::size_t>> shown_;
};

// wsmon --recover DIR: its exit status.
int Recover(const std::string& dir) {
  Program recover(WSMON_PATH, {"--recover", dir});
  return recover.Finish();
}

TEST(RunRecoveryTest, AKilledMonitorsRunIsRecoveredWithEveryLineShownASecondBefore) {
  std::mt19937 rng(2206);
  for (const int sensors : {4, 32}) {
    for (int moment = 0; moment < 10; ++moment) {
      const double after = 300 + static_cast<double>(rng() % 2500);
      SCOPED_TRACE(std::to_string(sensors) + " sensors, killed " + std::to_string(after) +
                   " ms into the run");
      ScratchDirectory dir;
      RunningMonitor run(dir.path(), sensors, moment + 1, {"--csv"});
      ASSERT_TRUE(run.started());
      run.Watch(after);
      const double killed_at = NowMs();
      run.wsmon().Signal(SIGKILL);
      run.wsmon().Finish();
      ASSERT_EQ(Recover(dir.path()), 0);
      const Lines& events = run.wsmon().lines();
      const Match match =
          FindShown(events, run.ShownBy(killed_at - 1000), RecoveredExport(dir.path()));
      EXPECT_GT(match.events, 0u) << "the recovered export is not the run as shown a second before";
      // Each CSV row goes out as it comes, the journal at the poll's end: the rows hold at least
      // every reading of the recovered export's panels.
      const std::string rows = RecoveredExport(dir.path(), "_recovered_readings.csv");
      const std::string recovered = RecoveredExport(dir.path());
      const std::regex reading("\\r\\n\\d{3}-\\d\\d:");
      const auto readings =
          std::distance(std::sregex_iterator(recovered.begin(), recovered.end(), reading), {});
      EXPECT_GE(std::count(rows.begin(), rows.end(), '\n') - 1, readings)
          << "the run's CSV rows went with its recovered export";
      ShownRun all;
      for (const std::string& line : events) all.Take(line);
      std::printf("kill -9, %2d sensors, %4.0f ms into the run: %zu lines recovered of %zu shown\n",
                  sensors, after, match.lines, all.Lines());
    }
  }
}

// Runs a command of the system; its exit status.
int Shell(const std::string& command) {
  return std::system(command.c_str());
}

// A file system of its own: an ext4 image (made anew when asked) on a loop device, mounted at
// mount_point, and all of it undone at the end.
class LoopDisk {
 public:
  LoopDisk(const std::string& image, const std::string& mount_point, bool make)
      : mount_(mount_point) {
    if (geteuid() != 0) return;
    mkdir(mount_.c_str(), 0755);
    if (make && Shell("truncate -s 64M " + image + " && mkfs.ext4 -q -F " + image) != 0) return;
    std::FILE* p = popen(("losetup -f --show " + image + " 2>/dev/null").c_str(), "r");
    if (p == nullptr) return;
    char device[64] = {};
    const bool read = std::fgets(device, sizeof device, p) != nullptr;
    pclose(p);
    if (!read) return;
    device_ = std::string(device, std::strcspn(device, "\n"));
    mounted_ = Shell("mount " + device_ + " " + mount_) == 0;
  }
  ~LoopDisk() {
    if (mounted_) Shell("umount " + mount_);
    if (!device_.empty()) Shell("losetup -d " + device_);
    rmdir(mount_.c_str());
  }
  bool mounted() const { return mounted_; }
  const std::string& path() const { return mount_; }
  std::string File(const std::string& name) const { return mount_ + "/" + name; }
  const std::string& device() const { return device_; }

 private:
  std::string mount_;
  std::string device_;
  bool mounted_ = false;
};

// The reading records of a JSON Lines file before its first line that is no whole record (what a
// power cut left of the file's end may be torn, or bytes of nothing).
long WholeReadingRecords(const std::string& text) {
  long readings = 0;
  std::size_t at = 0;
  for (std::size_t end; (end = text.find('\n', at)) != text.npos; at = end + 1) {
    const std::string line = text.substr(at, end - at);
    if (line.rfind("{\"event\":", 0) != 0 || line.back() != '}') break;
    readings += line.rfind("{\"event\":\"reading\"", 0) == 0;
  }
  return readings;
}

TEST(RunRecoveryTest, APowerCutLeavesEveryLineAndJsonRecordOfOneAndAHalfSecondsBefore) {
  for (const int sensors : {4, 32}) {
    SCOPED_TRACE(std::to_string(sensors) + " sensors");
    ScratchDirectory work;
    Lines events;
    std::size_t by_then = 0;
    {
      LoopDisk disk(work.File("disk.img"), work.File("disk"), true);
      if (!disk.mounted()) GTEST_SKIP() << "loop devices are refused here (they need root)";
      WriteSettings(disk.path(), sensors);
      sync();
      RunningMonitor run(disk.path(), sensors, 7, {"--json", "events.jsonl"});
      ASSERT_TRUE(run.started());
      run.Watch(3000);
      // The power goes: the copy holds what had reached the device at the moment of the kill.
      const double killed_at = NowMs();
      run.wsmon().Signal(SIGKILL);
      ASSERT_EQ(Shell("dd if=" + disk.device() + " of=" + work.File("cut.img") +
                      " bs=1M iflag=direct status=none"),
                0);
      run.wsmon().Finish();
      by_then = run.ShownBy(killed_at - 1500);
      events = run.wsmon().lines();
    }
    LoopDisk cut(work.File("cut.img"), work.File("cut"), false);
    ASSERT_TRUE(cut.mounted());
    ASSERT_EQ(Recover(cut.path()), 0);
    const Match match = FindShown(events, by_then, RecoveredExport(cut.path()));
    EXPECT_GT(match.events, 0u) << "the copy does not hold the run as shown 1.5 s before the cut";
    ShownRun all;
    for (const std::string& line : events) all.Take(line);
    // A reading's record goes into the JSON file before its panel line is shown.
    const auto readings_by = [&events](std::size_t count) {
      return std::count_if(
          events.begin(), events.begin() + static_cast<long>(count), [](const std::string& line) {
            return line.rfind("panel ", 0) == 0 && line.find(" line ") != line.npos;
          });
    };
    const long kept = WholeReadingRecords(ReadWholeFile(cut.File("events.jsonl")));
    EXPECT_GE(kept, readings_by(by_then)) << "the copy's JSON file lost records older than 1.5 s";
    std::printf(
        "power cut, %2d sensors, 3 s into the run: %zu lines recovered of %zu shown; "
        "%ld JSON readings kept of %ld shown 1.5 s before, %ld in all\n",
        sensors, match.lines, all.Lines(), kept, readings_by(by_then), readings_by(events.size()));
  }
}

// Fills the file system of dir with path until only room bytes are left.
void Fill(const std::string& path, off_t room) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  const std::string block(4096, 'x');
  while (write(fd, block.data(), block.size()) > 0) {
  }
  struct stat st {};
  fstat(fd, &st);
  if (ftruncate(fd, st.st_size > room ? st.st_size - room : 0) != 0) ADD_FAILURE() << path;
  close(fd);
}

TEST(RunRecoveryTest, AFullDiskIsSaidOnceAndLeavesNoPartialExportOrJsonRecord) {
  ScratchDirectory work;
  const std::string dir = work.File("small");
  mkdir(dir.c_str(), 0755);
  if (geteuid() != 0 || mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=256k") != 0) {
    rmdir(dir.c_str());
    GTEST_SKIP() << "no small file system can be mounted here (that needs root)";
  }
  struct Unmount {
    const std::string& dir;
    ~Unmount() {
      umount2(dir.c_str(), MNT_DETACH);
      rmdir(dir.c_str());
    }
  } unmount{dir};
  const std::string filler = dir + "/filler";
  WriteSettings(dir, 4);
  const std::string settings = ReadWholeFile(dir + "/wscfg.cfg");
  Fill(filler, 16384);
  RunningMonitor run(dir, 4, 3, {"--json", "events.jsonl"});
  ASSERT_TRUE(run.started());
  Program& wsmon = run.wsmon();
  const std::string full = "cannot be written: No space left on device";
  const std::string json_full = "--json events.jsonl: " + full;
  ASSERT_TRUE(WaitUntil([&] { return run.Said(full) > 1 && run.Said(json_full) > 0; }, 30000));
  const std::size_t shown = wsmon.lines().size();
  ASSERT_TRUE(WaitUntil([&] { return wsmon.lines().size() > shown + 100; }, 30000))
      << "the run goes on";
  EXPECT_EQ(run.Said(full), 2) << "once for the journal, once for the JSON file";
  // With room again, both are written again by themselves.
  unlink(filler.c_str());
  ASSERT_TRUE(WaitUntil([&] { return run.Said("written again") == 2; }, 30000));
  // Full at the stop: no part of the export under its name, and the journal stays.
  Fill(filler, 0);
  wsmon.Write("stop\nexit\n");
  EXPECT_EQ(wsmon.Finish(), 0);
  EXPECT_THAT(wsmon.lines(), Contains(StartsWith("message \"ERROR!\" ")));
  // The JSON file: whole records only, and one note of those skipped before the first that got
  // in again (what the full disk at the stop kept out follows no note: nothing got in after it).
  const std::string json = ReadWholeFile(dir + "/events.jsonl");
  const std::regex whole(R"((^|\n)\{"event":"[a-z_]+",[^\n]*\}(?=\n))");
  const std::regex skipped(R"(\n\{"event":"records_skipped",[^\n]*"count":[1-9][^\n]*\}\n)"
                           R"(\{"event":"[a-z_]+",)");
  EXPECT_EQ(std::distance(std::sregex_iterator(json.begin(), json.end(), skipped), {}), 1);
  EXPECT_EQ(std::count(json.begin(), json.end(), '\n'),
            std::distance(std::sregex_iterator(json.begin(), json.end(), whole), {}))
      << "a record was left cut";
  EXPECT_EQ(RunFiles(dir, ".txt"), 0);
  EXPECT_EQ(RunFiles(dir, ".journal"), 1);
  EXPECT_EQ(run.Said("could not be written: No space left on device"), 1);
  EXPECT_EQ(ReadWholeFile(dir + "/wscfg.cfg"), settings) << "a failed save leaves the settings";
  // The next start, with room, makes the export from the journal.
  unlink(filler.c_str());
  EXPECT_EQ(Recover(dir), 0);
  EXPECT_NE(RecoveredExport(dir), "");
  EXPECT_EQ(RunFiles(dir, ".journal"), 0);
}

}  // namespace
