#include "journal/recovery.h"

#include <cstdio>
#include <cstring>

#include "app/monitor_state.h"
#include "app/texts.h"
#include "journal/journal_reader.h"
#include "journal/run_journal.h"
#include "storage/whole_file.h"

namespace {

bool EndsWith(const std::string& s, const char* end) {
  const std::size_t n = std::strlen(end);
  return s.size() >= n && s.compare(s.size() - n, n, end) == 0;
}

bool Exists(FileStore& files, const std::string& name) {
  const FileHandle file = files.OpenRead(name.c_str());
  if (file == kInvalidFile) return false;
  files.Close(file);
  return true;
}

// Removes a journal (and an export's temporary file left by a stop that died), and makes the
// removal reach the device.
void RemoveJournal(FileStore& files, const std::string& name, const JournalScan& scan) {
  if (!scan.temp_name.empty()) files.Remove(scan.temp_name.c_str());
  files.Remove(name.c_str());
  files.SyncDirectory(".");
}

std::string Time(const LocalTime& t, bool with_date) {
  char text[40];
  if (with_date) {
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
  } else {
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.hour, t.minute, t.second);
  }
  return text;
}

// The CSV files that the run wrote beside its journal (under the journal's stem) take the
// recovered export's stem, as its stop would have given them.
void RenameCsvFiles(FileStore& files, const std::string& journal, RecoveryResult* result) {
  const std::string run_stem =
      journal.substr(0, journal.size() - std::strlen(text::kJournalExtension));
  const std::string export_stem = result->export_name.substr(0, result->export_name.rfind('.'));
  bool renamed = false;
  for (const char* suffix : {"_readings", "_errors"}) {
    const std::string from = run_stem + suffix + ".csv";
    if (!Exists(files, from)) continue;
    const std::string stem = export_stem + suffix;
    char name[kLogFileNameSize + 32];
    if (RenameToFreeName(&files, from.c_str(), stem.c_str(), ".csv", name, sizeof name)) {
      result->csv_names.push_back(name);
      renamed = true;
    } else {
      result->csv_names.push_back(from);
    }
  }
  if (renamed && !files.SyncDirectory(".")) result->recovered = false;
}

// Writes the export that the run's stop would have written: each panel's lines in panel order
// (a one-line panel's last line), then the error log's.
void WriteExport(FileStore& files, const std::string& journal, const JournalScan& scan,
                 RecoveryResult* result) {
  const LocalTime& t = scan.last.time;
  char stem[48];
  std::snprintf(stem, sizeof stem, text::kExportNameFormat, t.year, t.month, t.day, t.hour,
                t.minute);
  std::strncat(stem, text::kRecoveredSuffix, sizeof stem - std::strlen(stem) - 1);
  WholeFile out;
  if (!out.Begin(&files, stem, text::kExportNameExtension)) {
    result->failure = out.failure();
    return;
  }
  static const std::uint8_t kCrLf[2] = {'\r', '\n'};
  const auto write = [&out, result](const std::uint8_t* bytes, std::size_t length) {
    ++result->lines;
    return out.Write(bytes, length) && out.Write(kCrLf, 2);
  };
  bool written = true;
  const auto box = [&](int b) {
    if (!written) return;
    if (scan.one_line[b]) {
      const std::string& line = scan.last_line[b];
      written = write(reinterpret_cast<const std::uint8_t*>(line.data()), line.size());
      return;
    }
    std::uint64_t missing = 0;
    written = ReadJournalLines(files, journal.c_str(), scan.sound_bytes, b, scan.lines[b], write,
                               &missing);
    result->missing += missing;
  };
  for (int p = 0; p < scan.run.panel_count; ++p) box(p);
  box(kJournalLogIndex);
  char name[kLogFileNameSize + 16];
  const WholeFile::Published published =
      written ? out.Publish(name, sizeof name) : WholeFile::Published::kNotWritten;
  if (published != WholeFile::Published::kDone) {
    result->failure = out.failure().empty() ? files.LastFailure() : out.failure();
    if (result->failure.empty()) result->failure = "the journal could not be read again";
    out.Abandon();
    return;
  }
  result->export_name = name;
  result->recovered = out.name_flushed();
  RenameCsvFiles(files, journal, result);
}

RecoveryResult Recover(FileStore& files, const std::string& journal, const JournalScan& scan) {
  RecoveryResult result;
  result.journal = journal;
  result.readable = scan.has_run;
  result.run = scan.run;
  result.until = scan.last.time;
  result.damaged = scan.damaged;
  result.unread_bytes = scan.damaged ? scan.file_bytes - scan.sound_bytes : 0;
  if (!scan.has_run) {
    result.failure = scan.failure;
    return result;
  }
  // A stop that died during its export left its temporary file: the export is made anew.
  if (!scan.temp_name.empty()) files.Remove(scan.temp_name.c_str());
  WriteExport(files, journal, scan, &result);
  return result;
}

}  // namespace

std::vector<RecoveryResult> RecoverRuns(FileStore& files) {
  std::vector<std::string> journals;
  files.ListFiles(".", [&journals](const char* name) {
    const std::string n = name;
    if (n.rfind("RUVEZ_", 0) == 0 && EndsWith(n, text::kJournalExtension)) journals.push_back(n);
  });
  std::vector<RecoveryResult> results;
  for (const std::string& journal : journals) {
    // The mark of use, held while the journal is read: another monitor's run goes on in it.
    const FileHandle guard = files.OpenRead(journal.c_str());
    if (guard == kInvalidFile) continue;
    if (!files.TryLock(guard)) {
      files.Close(guard);
      continue;
    }
    JournalScan scan;
    ScanJournal(files, journal.c_str(), &scan);
    const bool ended =
        scan.end == kJournalEndDropped || (!scan.exported.empty() && Exists(files, scan.exported));
    if (ended) {
      files.Close(guard);
      RemoveJournal(files, journal, scan);
      continue;
    }
    RecoveryResult result = Recover(files, journal, scan);
    // The journal goes only once its export's name is on the device too (and after the mark is
    // let go of: a file held open cannot be removed everywhere); until then it says where its
    // export is, so that the next start makes no second one.
    files.Close(guard);
    if (result.recovered) {
      RemoveJournal(files, journal, scan);
    } else if (!result.export_name.empty()) {
      MarkJournalExported(files, journal.c_str(), result.export_name.c_str());
    }
    results.push_back(std::move(result));
  }
  return results;
}

std::string DescribeRecovery(const RecoveryResult& r) {
  if (!r.readable) {
    return r.journal + " cannot be read as a run's journal (" +
           (r.failure.empty() ? std::string("damaged") : r.failure) + "); it is left as it is.";
  }
  std::string text = "The run started " + Time(r.run.start, true) + " did not end with its stop";
  if (!r.export_name.empty()) {
    text += ": its " + std::to_string(r.lines) + " lines, up to " + Time(r.until, true) +
            ", are in " + r.export_name + ".";
  } else {
    text += ", and its export could not be made: " + r.failure + ".";
  }
  if (r.damaged) {
    text += " Its journal was damaged: the " + std::to_string(r.unread_bytes) +
            " bytes after the damage could not be read, and the lines in them are lost.";
  }
  if (r.missing > 0) {
    text += " " + std::to_string(r.missing) +
            " lines never reached the journal (the disk was full then).";
  }
  if (!r.csv_names.empty()) {
    text += " Its CSV files are ";
    for (std::size_t i = 0; i < r.csv_names.size(); ++i)
      text += (i == 0 ? "" : " and ") + r.csv_names[i];
    text += ".";
  }
  if (!r.recovered) text += " Its journal " + r.journal + " is kept for the next start.";
  return text;
}
