#include "settings/export_log.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include "app/monitor_state.h"
#include "app/platform.h"
#include "app/report.h"
#include "app/texts.h"
#include "journal/journal_reader.h"
#include "journal/run_journal.h"
#include "settings/cp936.h"
#include "storage/whole_file.h"

namespace {

// A line as the list box holds it (UTF-8), and as it is written (code page 936, CR LF). The
// lines the monitor makes are all far shorter; a longer one is cut, never overrun.
constexpr int kLineTextSize = 600;
constexpr std::size_t kLineOutSize = 600;

// What one box of the run contributed, and what it could not.
struct BoxOutcome {
  bool written = true;
  std::uint64_t lost = 0;  // lines that neither the journal nor the box kept
};

// Writes a box's lines, each followed by CR LF: those that the box no longer holds (it keeps
// the latest only) from the run's journal, then those it holds. box_index names the box in the
// journal.
BoxOutcome AddBoxLines(WholeFile& out, WindowHandle box, int box_index) {
  WindowSurface& surface = *g_platform.window;
  BoxOutcome outcome;
  const int held = surface.GetCount(box);
  const std::uint64_t kept = held > 0 ? static_cast<std::uint64_t>(held) : 0;
  const std::uint64_t total = RunJournalLines(box_index);
  if (total > kept) {
    const std::uint64_t earlier = total - kept;
    std::uint64_t missing = 0;
    const bool read =
        RunJournalName()[0] != '\0' &&
        ReadJournalLines(
            *g_platform.files, RunJournalName(), RunJournalBytes(), box_index, earlier,
            [&out](const std::uint8_t* bytes, std::size_t length) {
              static const std::uint8_t kCrLf[2] = {'\r', '\n'};
              return out.Write(bytes, length) && out.Write(kCrLf, 2);
            },
            &missing);
    outcome.lost = read ? missing : earlier;
    if (!read && !out.failure().empty()) outcome.written = false;
  }
  for (int j = 0; j < held && outcome.written; ++j) {
    char line[kLineTextSize];
    const int length = surface.GetText(box, j, line, sizeof line);
    if (length < 0) continue;
    const std::size_t stored = static_cast<std::size_t>(length) < sizeof line
                                   ? static_cast<std::size_t>(length)
                                   : sizeof line - 1;
    std::uint8_t bytes[kLineOutSize];
    outcome.written = out.Write(bytes, EncodeExportLine(line, stored, bytes, sizeof bytes));
  }
  return outcome;
}

std::string Described(const std::string& failure) {
  return failure.empty() ? std::string("the system gave no reason") : failure;
}

// Why the export failed, for the front end, and what becomes of the run's lines.
void ReportFailure(const std::string& name, const std::string& failure) {
  std::string text = "the export " + name + " could not be written: " + Described(failure);
  if (RunJournalName()[0] != '\0') {
    text += "; the run's journal " + std::string(RunJournalName()) +
            " is kept, and the next start makes the export from it";
  }
  ReportLine(text);
}

}  // namespace

std::size_t EncodeExportLine(const char* line, std::size_t len, std::uint8_t* out,
                             std::size_t cap) {
  std::size_t n = Utf8ToCp936(line, len, out, cap - 2);
  out[n++] = '\r';
  out[n++] = '\n';
  return n;
}

int ExportLog(WindowHandle hwnd) {
  WindowSurface& surface = *g_platform.window;
  g_state.local_time = g_platform.clock->Now();
  const LocalTime& t = g_state.local_time;
  char stem[40];  // "RUVEZ_" and five numbers of at most five digits
  std::snprintf(stem, sizeof stem, text::kExportNameFormat, t.year, t.month, t.day, t.hour,
                t.minute);
  const std::string first_name = std::string(stem) + text::kExportNameExtension;

  // The file is written under a temporary name, and takes its own only once it is whole on the
  // device: no failure ever leaves a part of it under the export's name.
  WholeFile out;
  if (!out.Begin(g_platform.files, stem, text::kExportNameExtension)) {
    EndRunJournalForExport("");
    ReportFailure(first_name, out.failure());
    DropRunJournal(/*keep=*/true);
    surface.MessageBox(hwnd, text::kFileHandleError, text::kCaptionFileError, kBoxOk);
    return 0;
  }
  // The journal is closed first: the export reads the lines that the boxes no longer hold from
  // it, and should the program die during the export, the next start finds the run whole.
  EndRunJournalForExport(out.temp_name());

  int result = 0;
  std::uint64_t lost = 0;
  for (int p = 0; p < g_state.panel_count && result == 0; ++p) {
    const BoxOutcome box = AddBoxLines(out, g_state.panel_boxes[p], p);
    lost += box.lost;
    if (!box.written) result = -1;
  }
  // The panels' bytes are written apart from the error log's, so that a failure is told by the
  // kind of line it struck.
  if (result == 0 && !out.WriteOut()) result = -1;
  if (result == 0) {
    const BoxOutcome log = AddBoxLines(out, g_state.error_log_box, kJournalLogIndex);
    lost += log.lost;
    if (!log.written) result = -2;
  }
  char name[kLogFileNameSize];
  const WholeFile::Published published =
      result == 0 ? out.Publish(name, sizeof name) : WholeFile::Published::kNotWritten;
  if (published != WholeFile::Published::kDone) {
    // Lines that never reached the device are lost as surely as a failed write.
    if (result == 0 && published == WholeFile::Published::kNotWritten) result = -2;
    const std::string failure = out.failure();
    out.Abandon();
    ReportFailure(first_name, failure);
    DropRunJournal(/*keep=*/true);
    surface.MessageBox(hwnd,
                       published == WholeFile::Published::kNotNamed ? text::kFileHandleError
                                                                    : text::kFileWriteError,
                       text::kCaptionFileError, kBoxOk);
    return published == WholeFile::Published::kNotNamed ? 0 : result;
  }
  std::snprintf(g_state.log_file_name, sizeof g_state.log_file_name, "%s", name);
  if (lost > 0) {
    ReportLine("the export " + std::string(name) + " lacks " + std::to_string(lost) +
               " of the run's earliest lines, which neither its journal nor the window kept");
  }
  if (!out.name_flushed()) {
    // The export's name may not survive a power cut: the journal stays until the next start,
    // which removes it once it finds the export.
    ReportLine("the export " + std::string(name) +
               " is written, but its name could not be flushed to the device: " +
               Described(out.failure()));
  }
  FinishRunJournal(name, /*remove=*/out.name_flushed());
  if (g_platform.readings != nullptr) g_platform.readings->OnExported(g_state.log_file_name);
  return 0;
}
