#include "settings/export_log.h"

#include <cstdint>
#include <cstdio>

#include "app/monitor_state.h"
#include "app/platform.h"
#include "app/texts.h"
#include "settings/cp936.h"
#include "settings/free_name.h"

namespace {

// A line as the list box holds it (UTF-8), and as it is written (code page 936, CR LF). The
// lines the monitor makes are all far shorter; a longer one is cut, never overrun.
constexpr int kLineTextSize = 600;
constexpr std::size_t kLineOutSize = 600;
// Makes the new export file, where nothing exists under the name yet.
class ExportFileClaimer : public NameClaimer {
 public:
  NameClaim Claim(const char* name) override {
    CreateFailure why = CreateFailure::kNone;
    file = g_platform.files->CreateNew(name, &why);
    if (file != kInvalidFile) return NameClaim::kClaimed;
    // Only a name that is taken, by whatever kind of file, is worth another try; otherwise the
    // directory takes no file.
    return why == CreateFailure::kNameTaken ? NameClaim::kTaken : NameClaim::kFailed;
  }
  FileHandle file = kInvalidFile;
};

// Creates the export file under a name that no file has yet, formatting it into log_file_name;
// exports stopped within one minute share the name's stem, later ones get _2, _3, ...
FileHandle CreateExportFile() {
  const LocalTime& t = g_state.local_time;
  char stem[40];  // "RUVEZ_" and five numbers of at most five digits
  std::snprintf(stem, sizeof stem, text::kExportNameFormat, t.year, t.month, t.day, t.hour,
                t.minute);
  ExportFileClaimer claimer;
  return ClaimFreeName(stem, text::kExportNameExtension, claimer, g_state.log_file_name,
                       sizeof g_state.log_file_name)
             ? claimer.file
             : kInvalidFile;
}

// The file's bytes are gathered here and written in large pieces: a write per line makes the
// export of a long run take seconds. Static storage, as the monitor allocates nothing.
struct PendingBytes {
  std::uint8_t bytes[64 * 1024];
  std::size_t used = 0;
};
PendingBytes g_pending;

// Writes the pending bytes. False when the write failed or fell short.
bool Flush(FileHandle file) {
  const int n = static_cast<int>(g_pending.used);
  g_pending.used = 0;
  return n == 0 || g_platform.files->Write(file, g_pending.bytes, n) == n;
}

// Adds every line of a list box, each followed by CR LF, to the pending bytes. A box without
// lines (or without an answer) contributes nothing. False when a write failed or fell short.
bool AddBoxLines(FileHandle file, WindowHandle box) {
  WindowSurface& surface = *g_platform.window;
  const int count = surface.GetCount(box);
  for (int j = 0; j < count; ++j) {
    char line[kLineTextSize];
    const int length = surface.GetText(box, j, line, sizeof line);
    if (length < 0) continue;
    const std::size_t stored = static_cast<std::size_t>(length) < sizeof line
                                   ? static_cast<std::size_t>(length)
                                   : sizeof line - 1;
    if (g_pending.used + kLineOutSize > sizeof g_pending.bytes && !Flush(file)) return false;
    g_pending.used +=
        EncodeExportLine(line, stored, g_pending.bytes + g_pending.used, kLineOutSize);
  }
  return true;
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
  g_state.local_time = g_platform.clock->Now();
  const FileHandle file = CreateExportFile();
  if (file == kInvalidFile) {
    g_platform.window->MessageBox(hwnd, text::kFileHandleError, text::kCaptionFileError, kBoxOk);
    return 0;
  }
  g_pending.used = 0;
  int result = 0;
  for (int p = 0; p < g_state.panel_count && result == 0; ++p) {
    if (!AddBoxLines(file, g_state.panel_boxes[p])) result = -1;
  }
  // The panels' bytes are written apart from the error log's, so that a failure is told by the
  // kind of line it struck.
  if (result == 0 && !Flush(file)) result = -1;
  if (result == 0 && !(AddBoxLines(file, g_state.error_log_box) && Flush(file))) result = -2;
  // Lines that never reached the device are lost as surely as a failed write.
  if (!g_platform.files->Close(file) && result == 0) result = -2;
  if (result != 0) {
    g_platform.window->MessageBox(hwnd, text::kFileWriteError, text::kCaptionFileError, kBoxOk);
  } else if (g_platform.readings != nullptr) {
    g_platform.readings->OnExported(g_state.log_file_name);
  }
  return result;
}
