#include "settings/export_log.h"

#include <cstdint>
#include <cstdio>

#include "app/monitor_state.h"
#include "app/platform.h"
#include "app/texts.h"
#include "settings/cp936.h"

namespace {

// A line as the list box holds it (UTF-8), and as it is written (code page 936, CR LF). The
// lines the monitor makes are all far shorter; a longer one is cut, never overrun.
constexpr int kLineTextSize = 600;
constexpr std::size_t kLineOutSize = 600;
// Exports stopped within one minute share the name's stem; later ones get _2, _3, ...
constexpr int kMaxExportsPerMinute = 999;

// Creates the export file under a name that no file has yet, formatting it into log_file_name.
FileHandle CreateExportFile() {
  FileStore& files = *g_platform.files;
  const LocalTime& t = g_state.local_time;
  char stem[40];  // "RUVEZ_" and five numbers of at most five digits
  std::snprintf(stem, sizeof stem, text::kExportNameFormat, t.year, t.month, t.day, t.hour,
                t.minute);
  for (int k = 1; k <= kMaxExportsPerMinute; ++k) {
    if (k == 1) {
      std::snprintf(g_state.log_file_name, sizeof g_state.log_file_name, "%s%s", stem,
                    text::kExportNameExtension);
    } else {
      std::snprintf(g_state.log_file_name, sizeof g_state.log_file_name, "%s_%d%s", stem, k,
                    text::kExportNameExtension);
    }
    // Only a name that is taken, by whatever kind of file, is worth another try; otherwise the
    // directory takes no file.
    CreateFailure why = CreateFailure::kNone;
    const FileHandle file = files.CreateNew(g_state.log_file_name, &why);
    if (file != kInvalidFile || why != CreateFailure::kNameTaken) return file;
  }
  return kInvalidFile;
}

// Writes every line of a list box, each followed by CR LF. A box without lines (or without an
// answer) contributes nothing. False when a write failed or fell short.
bool WriteBoxLines(FileHandle file, WindowHandle box) {
  WindowSurface& surface = *g_platform.window;
  const int count = surface.GetCount(box);
  for (int j = 0; j < count; ++j) {
    char line[kLineTextSize];
    const int length = surface.GetText(box, j, line, sizeof line);
    if (length < 0) continue;
    const std::size_t stored = static_cast<std::size_t>(length) < sizeof line
                                   ? static_cast<std::size_t>(length)
                                   : sizeof line - 1;
    std::uint8_t out[kLineOutSize];
    const std::size_t n = EncodeExportLine(line, stored, out, sizeof out);
    if (g_platform.files->Write(file, out, static_cast<int>(n)) != static_cast<int>(n)) {
      return false;
    }
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
  int result = 0;
  for (int p = 0; p < g_state.panel_count && result == 0; ++p) {
    if (!WriteBoxLines(file, g_state.panel_boxes[p])) result = -1;
  }
  if (result == 0 && !WriteBoxLines(file, g_state.error_log_box)) result = -2;
  // Lines that never reached the device are lost as surely as a failed write.
  if (!g_platform.files->Close(file) && result == 0) result = -2;
  if (result != 0) {
    g_platform.window->MessageBox(hwnd, text::kFileWriteError, text::kCaptionFileError, kBoxOk);
  } else if (g_platform.readings != nullptr) {
    g_platform.readings->OnExported(g_state.log_file_name);
  }
  return result;
}
