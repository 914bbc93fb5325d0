#include "journal/run_journal.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "app/monitor_state.h"
#include "app/platform.h"
#include "app/report.h"
#include "app/texts.h"
#include "settings/cp936.h"
#include "settings/free_name.h"
#include "storage/append_file.h"

namespace {

// A poll's records before they go out: room for the most lines one poll can bring (eight reads
// of 35 readings, and their error lines) with a wide margin; a poll that brings more writes
// twice.
constexpr std::size_t kBatchSize = 128 * 1024;

struct RunJournal {
  bool active = false;  // a run with saving on that has not ended
  AppendFile file;
  char name[kLogFileNameSize] = {};
  std::uint8_t batch[kBatchSize] = {};
  std::size_t used = 0;
  std::uint32_t batch_lines[kJournalBoxes] = {};    // lines of growing boxes in the batch
  std::uint64_t skipped_lines[kJournalBoxes] = {};  // since the last write that got through
  std::uint64_t lines[kJournalBoxes] = {};          // the run's, journalled or not
  bool changed = false;                             // since the last commit
  std::uint32_t good = 0;
  std::uint32_t bad = 0;
};
RunJournal g_journal;

std::uint8_t BoxNumber(int box) {
  return box == kJournalLogIndex ? kJournalLogBox : static_cast<std::uint8_t>(box);
}

// Writes the batch. Lines that the disk refused are counted for the gap record that will
// precede the next write that gets through.
void WriteBatch() {
  RunJournal& j = g_journal;
  if (j.used == 0) return;
  const bool written = j.file.is_open() && j.file.Append(j.batch, j.used);
  for (int b = 0; b < kJournalBoxes; ++b) {
    j.skipped_lines[b] = written ? 0 : j.skipped_lines[b] + j.batch_lines[b];
    j.batch_lines[b] = 0;
  }
  j.used = 0;
}

void AddRecord(JournalKind kind, std::uint8_t box, const std::uint8_t* payload,
               std::size_t length) {
  RunJournal& j = g_journal;
  if (j.used + kJournalRecordOverhead + length > sizeof j.batch) WriteBatch();
  j.used +=
      EncodeJournalRecord(kind, box, payload, length, j.batch + j.used, sizeof j.batch - j.used);
}

// A line's record: the bytes the export writes for it, without CR LF.
void AddLineRecord(JournalKind kind, int box, const char* line) {
  // As the export reads a line back from its list box: at most 599 bytes of UTF-8.
  constexpr std::size_t kBoxLine = 599;
  std::size_t length = std::strlen(line);
  if (length > kBoxLine) length = kBoxLine;
  std::uint8_t bytes[kJournalMaxLine];
  const std::size_t n = Utf8ToCp936(line, length, bytes, sizeof bytes);
  AddRecord(kind, BoxNumber(box), bytes, n);
  g_journal.changed = true;
}

// The gap record: every box's lines that the disk refused since the last write got through.
std::string GapRecord(const AppendFile::Skipped& /*skipped*/) {
  std::uint8_t entries[kJournalBoxes * kJournalGapEntrySize];
  std::size_t length = 0;
  for (int b = 0; b < kJournalBoxes; ++b) {
    const std::uint64_t lines = g_journal.skipped_lines[b];
    if (lines == 0) continue;
    EncodeGapEntry(BoxNumber(b),
                   lines > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(lines),
                   entries + length);
    length += kJournalGapEntrySize;
  }
  std::uint8_t record[kJournalRecordOverhead + sizeof entries];
  const std::size_t size =
      EncodeJournalRecord(JournalKind::kGap, 0, entries, length, record, sizeof record);
  return std::string(reinterpret_cast<const char*>(record), size);
}

// Makes the journal file where nothing exists under the name yet.
class JournalClaimer : public NameClaimer {
 public:
  NameClaim Claim(const char* name) override {
    AppendFile::Options options;
    options.must_be_new = true;
    options.lock = true;
    options.report = [](const std::string& text) { ReportLine(text); };
    options.gap = GapRecord;
    options.clock = g_platform.clock;
    CreateFailure why = CreateFailure::kNone;
    if (g_journal.file.Open(g_platform.files, name, options, &why)) return NameClaim::kClaimed;
    return why == CreateFailure::kNameTaken ? NameClaim::kTaken : NameClaim::kFailed;
  }
};

void Reset() {
  RunJournal& j = g_journal;
  j.active = false;
  j.name[0] = '\0';
  j.used = 0;
  j.changed = false;
  j.good = 0;
  j.bad = 0;
  for (int b = 0; b < kJournalBoxes; ++b) {
    j.batch_lines[b] = 0;
    j.skipped_lines[b] = 0;
    j.lines[b] = 0;
  }
}

// Closes the journal with a last record.
void End(std::uint8_t reason, const char* temp_name) {
  CommitRunJournal();
  std::uint8_t payload[1 + kLogFileNameSize] = {reason};
  std::size_t length = 1;
  if (temp_name != nullptr) {
    const std::size_t n = std::strlen(temp_name);
    if (n < kLogFileNameSize) {
      std::memcpy(payload + 1, temp_name, n);
      length += n;
    }
  }
  AddRecord(JournalKind::kEnd, 0, payload, length);
  WriteBatch();
  g_journal.file.Close();
  g_journal.active = false;
}

// Removes the journal, and makes the removal reach the device.
void Remove() {
  if (g_journal.name[0] == '\0') return;
  g_platform.files->Remove(g_journal.name);
  g_platform.files->SyncDirectory(".");
}

}  // namespace

std::string RunFileStem(const LocalTime& start) {
  char stem[48];
  std::snprintf(stem, sizeof stem, "RUVEZ_%04d_%02d_%02d_%02d_%02d_%02d", start.year, start.month,
                start.day, start.hour, start.minute, start.second);
  return stem;
}

void BeginRunJournal() {
  AbandonRunJournal();
  RunJournal& j = g_journal;
  j.active = true;
  const LocalTime start = g_platform.clock->Now();
  JournalClaimer claimer;
  if (!ClaimFreeName(RunFileStem(start).c_str(), text::kJournalExtension, claimer, j.name,
                     sizeof j.name)) {
    ReportLine("the run's journal cannot be made in the start directory (" + j.file.failure() +
               "): the run goes on, but until its stop its lines are kept in memory only");
    j.name[0] = '\0';
  }
  JournalRunFacts facts;
  facts.start = start;
  facts.sensor_count = g_state.sensor_count;
  facts.panel_count = g_state.panel_count;
  facts.port_number = g_state.port_number;
  facts.baud_index = g_state.baud_index;
  facts.save_log = g_state.save_log;
  std::uint8_t payload[kJournalRunSize];
  EncodeRunFacts(facts, payload);
  AddRecord(JournalKind::kRun, 0, payload, sizeof payload);
  j.changed = true;
}

void JournalLine(int box, const char* line) {
  RunJournal& j = g_journal;
  if (!j.active || box < 0 || box >= kJournalBoxes) return;
  ++j.lines[box];
  ++j.batch_lines[box];
  AddLineRecord(JournalKind::kLine, box, line);
}

void JournalReplace(int panel, const char* line) {
  RunJournal& j = g_journal;
  if (!j.active || panel < 0 || panel >= kJournalLogIndex) return;
  j.lines[panel] = 1;
  AddLineRecord(JournalKind::kReplace, panel, line);
}

void CommitRunJournal() {
  RunJournal& j = g_journal;
  const auto good = static_cast<std::uint32_t>(g_state.good_frames);
  const auto bad = static_cast<std::uint32_t>(g_state.bad_frames);
  if (!j.active || (!j.changed && good == j.good && bad == j.bad)) return;
  JournalCounts counts;
  counts.good = j.good = good;
  counts.bad = j.bad = bad;
  counts.time = g_platform.clock->Now();
  std::uint8_t payload[kJournalCountsSize];
  EncodeCounts(counts, payload);
  AddRecord(JournalKind::kCounts, 0, payload, sizeof payload);
  WriteBatch();
  j.changed = false;
}

bool RunJournalActive() {
  return g_journal.active;
}

bool RunJournalFileOpen() {
  return g_journal.file.is_open();
}

const char* RunJournalName() {
  return g_journal.name;
}

std::int64_t RunJournalBytes() {
  return g_journal.file.size();
}

std::uint64_t RunJournalLines(int box) {
  return box >= 0 && box < kJournalBoxes ? g_journal.lines[box] : 0;
}

void EndRunJournalForExport(const char* temp_name) {
  if (!g_journal.active) return;
  End(kJournalEndExport, temp_name);
}

void FinishRunJournal(const char* export_name, bool remove) {
  RunJournal& j = g_journal;
  // The mark first, on the device: should the removal not survive a power cut, the next start
  // finds that this run's export exists and makes no second one.
  if (j.name[0] != '\0' && MarkJournalExported(*g_platform.files, j.name, export_name) && remove)
    Remove();
  Reset();
}

void DropRunJournal(bool keep) {
  RunJournal& j = g_journal;
  if (j.active) End(keep ? kJournalEndExport : kJournalEndDropped, nullptr);
  if (!keep) Remove();
  Reset();
}

void AbandonRunJournal() {
  g_journal.file.Abandon();
  Reset();
}

bool MarkJournalExported(FileStore& files, const char* journal, const char* export_name) {
  const FileHandle file = files.OpenAppend(journal, false, nullptr);
  if (file == kInvalidFile) return false;
  std::uint8_t record[kJournalRecordOverhead + 256];
  const std::size_t size = EncodeJournalRecord(JournalKind::kExported, 0,
                                               reinterpret_cast<const std::uint8_t*>(export_name),
                                               std::strlen(export_name), record, sizeof record);
  const bool marked =
      size > 0 && files.Write(file, record, static_cast<int>(size)) == static_cast<int>(size);
  return files.Close(file) && marked;
}
