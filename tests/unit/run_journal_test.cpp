// The run's journal and the recovery of runs that never reached their stop: what a crash, a
// power cut or a full disk leaves of a run, and what the next start makes of it.
#include <gmock/gmock.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

#include "app/poll_cycle.h"
#include "app/resource_ids.h"
#include "journal/journal_format.h"
#include "journal/recovery.h"
#include "support/fixture.h"

namespace {

using ::testing::HasSubstr;

std::string Text(const Bytes& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

Bytes Cut(const Bytes& bytes, std::size_t length) {
  return Bytes(bytes.begin(), bytes.begin() + static_cast<long>(length));
}

// A poll's bytes: a reading of every sensor, a frame with a bad check byte and a refused id.
Bytes PollBytes(int sensors, int poll) {
  Bytes bytes;
  for (int id = 0; id < sensors; ++id) {
    bytes = Concat({bytes, MakeFrame(static_cast<std::uint8_t>(id), static_cast<std::uint8_t>(poll),
                                     static_cast<std::uint16_t>(200 + 7 * id + poll),
                                     static_cast<std::uint16_t>(450 + poll))});
  }
  Bytes broken = MakeFrame(1, 0, 300, 400);
  broken[7] ^= 0x01;
  return Concat({bytes, broken, MakeFrame(40, static_cast<std::uint8_t>(poll), 1, 2)});
}

// Where each record of a journal begins, and its end.
std::vector<std::size_t> RecordStarts(const Bytes& journal) {
  std::vector<std::size_t> starts;
  JournalRecord record;
  for (std::size_t at = 0; ParseJournalRecord(journal.data() + at, journal.size() - at, &record) ==
                           JournalParse::kRecord;
       at += record.size) {
    starts.push_back(at);
  }
  return starts;
}

// What the next start makes of a journal holding these bytes: the export it writes, and what
// it says of it.
struct Recovered {
  std::string exported;
  RecoveryResult result;
};
Recovered RecoverFrom(const Bytes& journal) {
  MemoryFileStore store("/run");
  store.PutFile("RUVEZ_2006_04_04_09_05_00.journal", journal);
  Recovered out;
  const std::vector<RecoveryResult> results = RecoverRuns(store);
  if (results.size() == 1) out.result = results[0];
  for (const std::string& path : store.FilesIn("/run")) {
    if (path.size() > 4 && path.compare(path.size() - 4, 4, ".txt") == 0)
      out.exported = Text(store.Bytes(path));
  }
  return out;
}

class RunJournalTest : public AppFixture {
 protected:
  void StartRun(int sensors, int save = 1) {
    CreateWith(sensors, save);
    Command(CMD_OPEN);
    Command(CMD_START);
  }
  // Polls that each bring PollBytes, numbered from first on.
  void Feed(int sensors, int polls, int first = 0) {
    for (int p = first; p < first + polls; ++p) {
      port_.Arrive(PollBytes(sensors, p));
      Run(200);
    }
  }
  // The names of the start directory's files that end so.
  Lines Named(const std::string& end) const {
    Lines names;
    for (const std::string& path : files_.FilesIn(kStartDir)) {
      const std::string name = path.substr(path.rfind('/') + 1);
      if (name.size() >= end.size() && name.compare(name.size() - end.size(), end.size(), end) == 0)
        names.push_back(name);
    }
    return names;
  }
  std::string Journal() const {
    const Lines names = Named(".journal");
    return names.size() == 1 ? names[0] : "<" + std::to_string(names.size()) + " journals>";
  }
  // The program dies; the next one starts in the same directory.
  void DieAndStartAgain() {
    ResetMonitorState();
    surface_ = RecordingSurface(&clock_);
    port_ = ScriptedSerialPort(&clock_);
    Create();
  }
  // A fresh start at the same moment as every other case.
  void Again() {
    Restart();
    clock_ = ManualClock{};
    reports_.clear();
  }
  // The export that the stop writes after these polls.
  std::string StoppedExport(int sensors, int polls) {
    Again();
    StartRun(sensors);
    Feed(sensors, polls);
    Command(CMD_STOP);
    EXPECT_EQ(Named(".journal"), Lines{}) << "the stop removes its journal";
    return Text(files_.Bytes(g_state.log_file_name));
  }
  // Waits (for the helper thread) until the journal is on the device, names and all.
  bool JournalOnDevice() {
    for (int i = 0; i < 10000; ++i) {
      if (files_.OnDevice(Journal())) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
  }
};

// Journals written by any version must still be read: the records' check is the standard
// CRC-32, whatever lengths and pieces it is taken over.
TEST(JournalCrcTest, IsTheStandardCrc32OverAnyLengthAndInPieces) {
  const struct {
    std::string text;
    std::uint32_t crc;
  } cases[] = {{"", 0},
               {"123456789", 0xCBF43926u},
               {"The quick brown fox jumps over the lazy dog", 0x414FA339u}};
  for (const auto& c : cases) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(c.text.data());
    EXPECT_EQ(Crc32(bytes, c.text.size()), c.crc) << c.text;
    for (std::size_t cut = 0; cut <= c.text.size(); cut += 5) {
      EXPECT_EQ(Crc32(bytes + cut, c.text.size() - cut, Crc32(bytes, cut)), c.crc) << cut;
    }
  }
}

TEST_F(RunJournalTest, ARunThatNeverReachedItsStopIsRecoveredAsTheExportItsStopWouldHaveWritten) {
  for (int sensors : {1, 4, 9, 12, 32}) {
    SCOPED_TRACE(std::to_string(sensors) + " sensors");
    const std::string stopped = StoppedExport(sensors, 6);
    Again();
    StartRun(sensors);
    Feed(sensors, 6);
    EXPECT_EQ(Journal(), "RUVEZ_2006_04_04_09_05_00.journal");
    // The start's lines, then each poll's, each in one write.
    EXPECT_EQ(files_.WritesTo(Journal()), 7);
    DieAndStartAgain();
    EXPECT_EQ(Named(".journal"), Lines{});
    ASSERT_EQ(Named(".txt"), Lines{"RUVEZ_2006_04_04_09_05_recovered.txt"});
    EXPECT_EQ(Text(files_.Bytes("RUVEZ_2006_04_04_09_05_recovered.txt")), stopped);
    const std::string lines =
        std::to_string(std::count(stopped.begin(), stopped.end(), '\n')) + " lines";
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_THAT(Boxes()[0], HasSubstr("Run recovered|The run started 2006-04-04 09:05:00 did not "
                                      "end with its stop: its " +
                                      lines + ", up to 2006-04-04 09:05:0"));
    EXPECT_THAT(Boxes()[0], HasSubstr(", are in RUVEZ_2006_04_04_09_05_recovered.txt."));
    EXPECT_EQ(reports_, Lines{Boxes()[0].substr(Boxes()[0].find('|') + 1)});
  }
}

TEST_F(RunJournalTest, TheRunsCsvFilesTakeTheRecoveredExportsStemWhereItIsFree) {
  StartRun(4);
  Feed(4, 2);
  const std::string stem = Journal().substr(0, Journal().rfind('.'));
  files_.PutFile(stem + "_readings.csv", {'r', '\r', '\n'});
  files_.PutFile(stem + "_errors.csv", {'e', '\r', '\n'});
  files_.PutFile("RUVEZ_2006_04_04_09_05_recovered_errors.csv", {'x'});
  DieAndStartAgain();
  EXPECT_EQ(Named(".csv"), Lines({"RUVEZ_2006_04_04_09_05_recovered_errors.csv",
                                  "RUVEZ_2006_04_04_09_05_recovered_errors_2.csv",
                                  "RUVEZ_2006_04_04_09_05_recovered_readings.csv"}));
  EXPECT_EQ(Text(files_.Bytes("RUVEZ_2006_04_04_09_05_recovered_errors_2.csv")), "e\r\n");
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_THAT(reports_[0], HasSubstr("Its CSV files are RUVEZ_2006_04_04_09_05_recovered_readings"
                                     ".csv and RUVEZ_2006_04_04_09_05_recovered_errors_2.csv."));
}

TEST_F(RunJournalTest, AJournalCutAnywhereInItsLastRecordsGivesEveryLineBeforeThem) {
  StartRun(4);
  Feed(4, 3);
  const Bytes journal = files_.Bytes(Journal());
  const std::vector<std::size_t> starts = RecordStarts(journal);
  ASSERT_GT(starts.size(), 4u);
  ASSERT_EQ(starts.back() + kJournalRecordOverhead + kJournalCountsSize, journal.size());
  // The last two records: the last error line and the poll's counts; cut within them, and with
  // the zeros that a power cut leaves where the file had grown.
  for (std::size_t r = starts.size() - 2; r < starts.size(); ++r) {
    const Recovered before = RecoverFrom(Cut(journal, starts[r]));
    const std::size_t end = r + 1 < starts.size() ? starts[r + 1] : journal.size();
    for (std::size_t length = starts[r]; length < end; ++length) {
      for (std::size_t zeros : {0, 600}) {
        SCOPED_TRACE("record " + std::to_string(r) + " cut at " + std::to_string(length) + " and " +
                     std::to_string(zeros) + " zeros");
        Bytes cut = Cut(journal, length);
        cut.resize(cut.size() + zeros, 0);
        const Recovered recovered = RecoverFrom(cut);
        EXPECT_EQ(recovered.exported, before.exported);
        EXPECT_FALSE(recovered.result.damaged);
        EXPECT_TRUE(recovered.result.recovered);
      }
    }
  }
  // The whole journal has the last line that the cuts lose.
  EXPECT_GT(RecoverFrom(journal).exported.size(),
            RecoverFrom(Cut(journal, starts[starts.size() - 2])).exported.size());
}

TEST_F(RunJournalTest, ADamagedRecordGivesTheLinesBeforeItAndSaysSo) {
  StartRun(4);
  Feed(4, 12);
  const Bytes journal = files_.Bytes(Journal());
  const std::vector<std::size_t> starts = RecordStarts(journal);
  const std::size_t m = starts.size() / 2;
  const std::size_t size = starts[m + 1] - starts[m];
  const Recovered before = RecoverFrom(Cut(journal, starts[m]));
  const std::pair<const char*, std::size_t> fields[] = {
      {"kind", 0}, {"length", 2}, {"header check", 4}, {"payload", 7}, {"check", size - 1}};
  for (const auto& [field, offset] : fields) {
    SCOPED_TRACE(field);
    Bytes damaged = journal;
    damaged[starts[m] + offset] ^= 0x40;
    const Recovered recovered = RecoverFrom(damaged);
    EXPECT_EQ(recovered.exported, before.exported);
    EXPECT_TRUE(recovered.result.damaged);
    EXPECT_EQ(recovered.result.unread_bytes, static_cast<std::int64_t>(journal.size() - starts[m]));
    EXPECT_THAT(
        DescribeRecovery(recovered.result),
        HasSubstr("Its journal was damaged: the " + std::to_string(journal.size() - starts[m]) +
                  " bytes after the damage could not be read"));
  }
  // Nothing but damage: the journal is left as it is, and the start goes on.
  const Recovered garbage = RecoverFrom(Bytes(100, 0x33));
  EXPECT_FALSE(garbage.result.readable);
  EXPECT_EQ(garbage.exported, "");
  EXPECT_THAT(DescribeRecovery(garbage.result), HasSubstr("it is left as it is"));
}

TEST_F(RunJournalTest, EveryWayARunEndsRemovesItsJournalAndSavingOffMakesNone) {
  const struct {
    const char* name;
    std::function<void()> end;
    int save;
    std::size_t exports;
  } cases[] = {
      {"stop", [this] { Command(CMD_STOP); }, 1, 1},
      {"close", [this] { Command(CMD_CLOSE); }, 1, 0},
      {"settings", [this] { Settings([](MemoryDialog&) { return IDC_EXIT; }); }, 1, 0},
      {"exit", [this] { Command(CMD_EXIT); }, 1, 0},
      {"the window's close box", [this] { surface_.Dispatch(hwnd_, MemoryMessage::kClose); }, 1, 0},
      {"stop with saving off", [this] { Command(CMD_STOP); }, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Again();
    StartRun(4, c.save);
    Feed(4, 2);
    EXPECT_EQ(Named(".journal").size(), c.save == 1 ? 1u : 0u);
    c.end();
    EXPECT_EQ(Named(".journal"), Lines{});
    EXPECT_EQ(Named(".txt").size(), c.exports);
  }
}

TEST_F(RunJournalTest, APowerCutAnywhereInTheStopLosesNoLineAndLeavesNoPartialExport) {
  const std::string whole = StoppedExport(4, 3);
  int cuts = 0;
  for (int k = 1;; ++k) {
    SCOPED_TRACE("the power goes after " + std::to_string(k) + " operations of the stop");
    Again();
    StartRun(4);
    Feed(4, 3);
    ASSERT_TRUE(JournalOnDevice());
    files_.CutPowerAfter(k);
    Command(CMD_STOP);
    if (!files_.PowerWasCut()) break;
    ++cuts;
    files_.PowerCut();
    DieAndStartAgain();
    // Every export is whole; the run is in one of them (at most two, should the power go in the
    // moment between the export's name reaching the device and its journal's mark).
    const Lines exports = Named(".txt");
    EXPECT_GE(exports.size(), 1u);
    EXPECT_LE(exports.size(), 2u);
    for (const std::string& name : exports) EXPECT_EQ(Text(files_.Bytes(name)), whole) << name;
    EXPECT_EQ(files_.FilesIn(kStartDir).size(), exports.size() + 1) << "wscfg.cfg alone besides";
  }
  EXPECT_GT(cuts, 8);
}

TEST_F(RunJournalTest, AFullDiskCostsTheJournalLinesNeverTheRunAndIsSaidOnce) {
  for (const bool stop : {true, false}) {
    SCOPED_TRACE(stop ? "stopped" : "died");
    const std::string whole = StoppedExport(4, 35);
    Again();
    StartRun(4);
    Feed(4, 2);
    files_.FailWritesAfter(0);
    Feed(4, 3, 2);
    EXPECT_EQ(g_state.good_frames, 5 * 5) << "the run goes on";
    ASSERT_EQ(reports_.size(), 1u);
    EXPECT_EQ(reports_[0], Journal() +
                               ": cannot be written: No space left on device; the monitor goes "
                               "on, and writing resumes by itself once there is room");
    // Writing resumes at once; that is told once it has held for a while.
    files_.FailWritesAfter(-1);
    Feed(4, 30, 5);
    ASSERT_EQ(reports_.size(), 2u);
    EXPECT_THAT(reports_[1], HasSubstr(": written again; 3 records ("));
    if (stop) {
      // The window still holds every line: the export is whole.
      Command(CMD_STOP);
      EXPECT_EQ(Text(files_.Bytes(g_state.log_file_name)), whole);
      continue;
    }
    DieAndStartAgain();
    const std::string recovered = Text(files_.Bytes("RUVEZ_2006_04_04_09_05_recovered.txt"));
    // Three polls of four readings and two error lines are missing, nothing else.
    EXPECT_EQ(std::count(recovered.begin(), recovered.end(), '\n'),
              std::count(whole.begin(), whole.end(), '\n') - 18);
    EXPECT_THAT(Boxes().at(0), HasSubstr(" 18 lines never reached the journal"));
  }
}

TEST_F(RunJournalTest, APanelKeepsItsLatestLinesAndTheExportHasEveryLineOfTheRun) {
  StartRun(1);
  constexpr int kReadings = kBoxLineLimit + 50;
  for (int sent = 0; sent < kReadings;) {
    Bytes chunk;
    for (int i = 0; i < 35 && sent < kReadings; ++i, ++sent)
      chunk = Concat({chunk, MakeFrame(0, static_cast<std::uint8_t>(sent), 100, 200)});
    PollChunk(chunk.data(), chunk.size());
  }
  const Lines held = Panel(0);
  ASSERT_EQ(held.size(), static_cast<std::size_t>(kBoxLineLimit));
  EXPECT_EQ(held.front().substr(0, 4), "050-") << "the header and the first 50 readings went";
  Command(CMD_STOP);
  const std::string exported = Text(files_.Bytes(g_state.log_file_name));
  Lines lines;
  for (std::size_t at = 0, end; (end = exported.find("\r\n", at)) != std::string::npos;
       at = end + 2)
    lines.push_back(exported.substr(at, end - at));
  ASSERT_EQ(lines.size(), kReadings + 2u);  // both panels' headers, every reading
  EXPECT_EQ(lines[0].substr(0, 9), "sensor0, ");
  for (int n = 0; n < kReadings; ++n) {
    char number[16];
    std::snprintf(number, sizeof number, "%03d-", n);
    ASSERT_EQ(lines[1 + n].substr(0, std::strlen(number)), number);
  }
  EXPECT_EQ(lines.back().substr(0, 9), "sensor1, ");
}

}  // namespace
