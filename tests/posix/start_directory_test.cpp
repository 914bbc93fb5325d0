// What the headless program makes of a start directory laid with traps under the names of its
// own files: pipes, links, a directory, files it may not read or write. None of them holds it up,
// leads it to write elsewhere or costs the run's export. And in the test's own process: a write
// that the device refuses, and a run's CSV files where making them must fail.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <fstream>

#include "app/platform.h"
#include "outputs/csv_export.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_file_store.h"
#include "support.h"

namespace {

// The kind and permissions of what is under a path (a link not followed), 0 for nothing.
mode_t ModeOf(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

TEST(StartDirectoryTest, TrapsUnderTheMonitorsFileNamesNeitherHoldItUpNorMisleadIt) {
  enum Kind { kFifo, kDirectory, kLink, kDanglingLink, kFile };
  struct Trap {
    const char* name;  // wscfg.cfg, wscfg.cfg.tmp, or the export names of this minute and the next
    Kind kind;
    mode_t mode;
    bool read_error;   // start-up finds no configuration
    int save_errors;   // the exit cannot save (reported by each of the two shutdown runs)
    bool second_name;  // the export goes on to the name with _2
    bool as_nobody;
  };
  const Trap traps[] = {
      {"wscfg.cfg", kFifo, 0644, true, 2, false, false},
      {"wscfg.cfg", kDirectory, 0755, true, 2, false, false},
      {"wscfg.cfg", kFile, 0444, false, 2, false, false},  // read-only: kept
      {"wscfg.cfg", kFile, 0600, false, 0, false, false},  // private: replaced, kept private
      {"wscfg.cfg.tmp", kFifo, 0644, true, 2, false, false},
      {"wscfg.cfg.tmp", kLink, 0777, true, 2, false, false},
      {"RUVEZ", kFifo, 0644, true, 0, true, false},
      {"RUVEZ", kDanglingLink, 0777, true, 0, true, false},
      {"RUVEZ", kFile, 0200, true, 0, true, true},  // a file this user cannot read
  };
  const std::string old_settings("\1\0\0\3", 4);  // saving off, three sensors
  for (const Trap& trap : traps) {
    char trace[64];
    std::snprintf(trace, sizeof trace, "%s, kind %d, mode %o", trap.name, trap.kind, trap.mode);
    SCOPED_TRACE(trace);
    ScratchDirectory dir;
    PseudoTerminal line;
    chmod(line.path().c_str(), 0666);
    chmod(dir.path().c_str(), 0777);
    Lines names = {trap.name};
    if (names[0] == "RUVEZ") {
      names.clear();
      for (const std::time_t t : {std::time(nullptr), std::time(nullptr) + 60}) {
        char name[64];
        std::tm local{};
        std::strftime(name, sizeof name, "RUVEZ_%Y_%m_%d_%H_%M.txt", localtime_r(&t, &local));
        names.push_back(name);
      }
    }
    std::ofstream(dir.File("target")) << old_settings;
    for (const std::string& name : names) {
      const std::string path = dir.File(name);
      if (trap.kind == kFifo) mkfifo(path.c_str(), trap.mode);
      if (trap.kind == kDirectory) mkdir(path.c_str(), trap.mode);
      if (trap.kind == kLink) symlink(dir.File("target").c_str(), path.c_str());
      if (trap.kind == kDanglingLink) symlink("/nowhere", path.c_str());
      if (trap.kind == kFile) std::ofstream(path) << old_settings;
      if (trap.kind != kLink && trap.kind != kDanglingLink) chmod(path.c_str(), trap.mode);
    }
    Surroundings around;
    around.as_nobody = trap.as_nobody;
    Program wsmon(WSMON_PATH, {"--headless", "--com", "1=" + line.path()}, dir.path(), around);
    wsmon.Write("settings save=1\nopen\nstart\nwait 300\nstop\nexit\n");
    EXPECT_EQ(wsmon.Finish(), 0);
    const Lines& out = wsmon.lines();
    EXPECT_EQ(std::count(out.begin(), out.end(),
                         "message \"错误提示!\" \"通讯口配置读取错误，调用缺省配置!\""),
              trap.read_error);
    EXPECT_EQ(std::count(out.begin(), out.end(), "message \"错误提示!\" \"通讯口配置保存错误!\""),
              trap.save_errors);
    // The trap is as it was laid, the target of a link untouched, and a configuration that
    // could be saved holds the settings.
    for (const std::string& name : names) {
      EXPECT_EQ(ModeOf(dir.File(name)) & 07777, trap.mode) << name;
      if (trap.kind == kFile && trap.save_errors > 0) {
        EXPECT_EQ(ReadWholeFile(dir.File(name)), old_settings);
      }
    }
    EXPECT_EQ(ReadWholeFile(dir.File("target")), old_settings);
    if (trap.save_errors == 0) {
      EXPECT_EQ(ReadWholeFile(dir.File("wscfg.cfg")),
                std::string(trap.read_error ? "\1\0\1\4" : "\1\0\1\3", 4));
    }
    Lines exports;
    for (const std::string& name : dir.Names()) {
      const std::string path = dir.File(name);
      if (S_ISREG(ModeOf(path)) && ReadWholeFile(path).rfind("sensor0, ", 0) == 0) {
        exports.push_back(name);
      }
    }
    EXPECT_EQ(exports.size(), 1u) << ::testing::PrintToString(dir.Names());
    for (const std::string& name : exports) {
      EXPECT_EQ(name.size() == 28 && name.rfind("_2.txt") == 22, trap.second_name) << name;
    }
  }
}

TEST(CsvRunFilesTest, ARunWhoseFilesCannotBeMadeNeverPublishesAnEarlierRunsFiles) {
  ResetMonitorState();
  g_state.save_log = 1;  // runs that are exported: their files are made
  ScratchDirectory dir;
  char before[4096];
  ASSERT_NE(getcwd(before, sizeof before), nullptr);
  PosixFileStore files;
  PosixClock clock;
  g_platform.files = &files;
  g_platform.clock = &clock;
  Lines problems;
  {
    CsvExport csv([&problems](const std::string& problem) { problems.push_back(problem); });
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    csv.OnRunStarted();            // a run that is never exported keeps its rows
    ASSERT_EQ(chdir("/proc"), 0);  // nobody makes a file here
    csv.OnRunStarted();
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    csv.OnExported("RUVEZ_run.txt");
  }
  ASSERT_EQ(chdir(before), 0);
  g_platform = Platform{};
  ResetMonitorState();
  EXPECT_EQ(problems.size(), 1u) << ::testing::PrintToString(problems);
  const Lines names = dir.Names();
  ASSERT_EQ(names.size(), 2u) << ::testing::PrintToString(names);
  EXPECT_EQ(names[0].substr(25), "_errors.csv");
  EXPECT_EQ(names[1].substr(25), "_readings.csv");
}

}  // namespace
