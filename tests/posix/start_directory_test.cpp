// What the headless program makes of a start directory laid with traps: pipes, links, a
// directory and files it may not read or write under the names of its own files. None of them
// holds it up, leads it to write elsewhere or costs the run's export.
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

#include "support.h"

namespace {

const std::string kReadFailed = "message \"错误提示!\" \"通讯口配置读取错误，调用缺省配置!\"";
const std::string kSaveFailed = "message \"错误提示!\" \"通讯口配置保存错误!\"";

// The kind and permissions of what is under a path (without following a link), 0 for nothing.
mode_t ModeOf(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

// The names an export stopped now or within the next minute takes first.
std::vector<std::string> ExportNames() {
  std::vector<std::string> names;
  for (const std::time_t t : {std::time(nullptr), std::time(nullptr) + 60}) {
    char name[64];
    std::tm local{};
    std::strftime(name, sizeof name, "RUVEZ_%Y_%m_%d_%H_%M.txt", localtime_r(&t, &local));
    names.push_back(name);
  }
  return names;
}

void PutFile(const std::string& path, const std::string& bytes, mode_t mode) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  chmod(path.c_str(), mode);
}

TEST(StartDirectoryTest, TrapsUnderTheMonitorsFileNamesNeitherHoldItUpNorMisleadIt) {
  using Dir = const ScratchDirectory&;
  struct Trap {
    const char* name;
    std::function<void(Dir)> lay;
    bool read_error;                  // start-up finds no configuration
    int save_errors;                  // the exit cannot save (reported once per shutdown run)
    bool second_name;                 // the export goes on to the name with _2
    std::function<bool(Dir)> intact;  // the trap is still as it was laid
    bool as_nobody = false;
  };
  const std::string cfg = "wscfg.cfg";
  const std::string tmp = "wscfg.cfg.tmp";
  const std::string old_settings("\1\0\1\3", 4);  // three sensors
  const std::string saved("\1\0\1\4", 4);         // the defaults with saving on
  const auto kind = [](Dir d, const std::string& name, mode_t mode) {
    return ModeOf(d.File(name)) == mode;
  };
  const Trap traps[] = {
      {"FIFO as the configuration", [&](Dir d) { mkfifo(d.File(cfg).c_str(), 0644); }, true, 2,
       false, [&](Dir d) { return kind(d, cfg, S_IFIFO | 0644); }},
      {"directory as the configuration", [&](Dir d) { mkdir(d.File(cfg).c_str(), 0755); }, true, 2,
       false, [&](Dir d) { return kind(d, cfg, S_IFDIR | 0755); }},
      {"read-only configuration", [&](Dir d) { PutFile(d.File(cfg), old_settings, 0444); }, false,
       2, false,
       [&](Dir d) {
         return kind(d, cfg, S_IFREG | 0444) && ReadWholeFile(d.File(cfg)) == old_settings;
       }},
      {"private configuration, kept private", [&](Dir d) { PutFile(d.File(cfg), "\2", 0600); },
       true, 0, false,
       [&](Dir d) { return kind(d, cfg, S_IFREG | 0600) && ReadWholeFile(d.File(cfg)) == saved; }},
      {"FIFO as the temporary file", [&](Dir d) { mkfifo(d.File(tmp).c_str(), 0644); }, true, 2,
       false, [&](Dir d) { return kind(d, tmp, S_IFIFO | 0644) && kind(d, cfg, 0); }},
      {"link as the temporary file",
       [&](Dir d) {
         PutFile(d.File("target"), "keep", 0644);
         symlink(d.File("target").c_str(), d.File(tmp).c_str());
       },
       true, 2, false, [&](Dir d) { return ReadWholeFile(d.File("target")) == "keep"; }},
      {"FIFOs as the exports",
       [](Dir d) {
         for (const std::string& n : ExportNames()) mkfifo(d.File(n).c_str(), 0644);
       },
       true, 0, true, [](Dir d) { return ModeOf(d.File(ExportNames()[0])) == (S_IFIFO | 0644); }},
      {"dangling links as the exports",
       [](Dir d) {
         for (const std::string& n : ExportNames()) symlink("/nowhere", d.File(n).c_str());
       },
       true, 0, true, [](Dir d) { return S_ISLNK(ModeOf(d.File(ExportNames()[0]))); }},
      {"exports this user cannot read",
       [](Dir d) {
         chmod(d.path().c_str(), 0777);
         for (const std::string& n : ExportNames()) PutFile(d.File(n), "old", 0200);
       },
       true, 0, true, [](Dir d) { return ReadWholeFile(d.File(ExportNames()[0])) == "old"; }, true},
  };
  for (const Trap& trap : traps) {
    SCOPED_TRACE(trap.name);
    ScratchDirectory dir;
    PseudoTerminal line;
    chmod(line.path().c_str(), 0666);
    trap.lay(dir);
    Surroundings around;
    around.as_nobody = trap.as_nobody;
    Program wsmon(WSMON_PATH, {"--headless", "--com", "1=" + line.path()}, true, dir.path(),
                  around);
    wsmon.Write("settings save=1\nopen\nstart\nwait 300\nstop\nexit\n");
    EXPECT_EQ(wsmon.Finish(), 0);
    const Lines& out = wsmon.lines();
    EXPECT_EQ(std::count(out.begin(), out.end(), kReadFailed), trap.read_error ? 1 : 0);
    EXPECT_EQ(std::count(out.begin(), out.end(), kSaveFailed), trap.save_errors);
    Lines exports;
    for (const std::string& name : dir.Names()) {
      if (name.rfind("RUVEZ_", 0) == 0 && S_ISREG(ModeOf(dir.File(name))) &&
          ReadWholeFile(dir.File(name)).rfind("sensor0, ", 0) == 0) {
        exports.push_back(name);
      }
    }
    EXPECT_EQ(exports.size(), 1u) << ::testing::PrintToString(dir.Names());
    for (const std::string& name : exports) {
      EXPECT_EQ(name.size() == 28 && name.rfind("_2.txt") == 22, trap.second_name) << name;
    }
    EXPECT_TRUE(trap.intact(dir));
  }
}

}  // namespace
