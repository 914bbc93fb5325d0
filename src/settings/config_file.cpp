#include "settings/config_file.h"

#include <cstdint>
#include <string>

#include "app/monitor_state.h"
#include "app/platform.h"
#include "app/report.h"
#include "app/texts.h"
#include "display/window_surface.h"

namespace {

constexpr int kConfigSize = 4;
// The new settings are written here first and then put in place of the old file in one step,
// so that a failed write never leaves a damaged configuration behind. The name is created
// afresh each time: a file left by an interrupted save is removed first, while anything else
// under the name (a link, a pipe) stays and makes the save fail rather than lead it elsewhere.
constexpr char kConfigTempName[] = "wscfg.cfg.tmp";

constexpr int kMaxBaudIndex = kBaudRateCount - 1;

// The process's current directory is the start directory whenever the files are touched.
void EnterStartDirectory() {
  g_platform.files->SetCurrentDir(g_state.start_directory);
}

// Tells the front end why the settings were not stored.
void ReportNotStored(const std::string& why) {
  ReportLine(std::string("the settings could not be stored in ") + text::kConfigFileName + ": " +
             (why.empty() ? std::string("the system gave no reason") : why));
}

}  // namespace

int LoadConfig(WindowHandle /*hwnd*/) {
  FileStore& files = *g_platform.files;
  EnterStartDirectory();
  const FileHandle file = files.OpenRead(text::kConfigFileName);
  if (file == kInvalidFile) return -1;
  std::uint8_t bytes[kConfigSize] = {};
  const int n = files.Read(file, bytes, kConfigSize);
  files.Close(file);
  if (n != kConfigSize) return -2;

  // Every byte value is accepted. The port number stands as read (an unknown port is reported
  // when it is opened); a baud index or sensor count beyond what the monitor can use is limited
  // to the nearest valid value, since the system never writes one itself.
  g_state.port_number = bytes[0];
  g_state.baud_index = bytes[1] > kMaxBaudIndex ? kMaxBaudIndex : bytes[1];
  g_state.save_log = bytes[2] == 1 ? 1 : 0;
  g_state.sensor_count = bytes[3] > kMaxSensorCount ? kMaxSensorCount : bytes[3];
  return 0;
}

int SaveConfig(WindowHandle hwnd) {
  FileStore& files = *g_platform.files;
  EnterStartDirectory();
  files.Remove(kConfigTempName);
  const FileHandle file = files.CreateNew(kConfigTempName, nullptr);
  if (file == kInvalidFile) {
    ReportNotStored(files.LastFailure());
    return -1;
  }

  const std::uint8_t bytes[kConfigSize] = {
      static_cast<std::uint8_t>(g_state.port_number & 0xFF),
      static_cast<std::uint8_t>(g_state.baud_index & 0xFF),
      static_cast<std::uint8_t>(g_state.save_log == 1 ? 1 : 0),
      static_cast<std::uint8_t>(g_state.sensor_count & 0xFF),
  };
  const bool written = files.Write(file, bytes, kConfigSize) == kConfigSize;
  // Close also reports whether the bytes reached the device.
  const bool closed = files.Close(file);
  if (!written || !closed) {
    ReportNotStored(files.LastFailure());
    files.Remove(kConfigTempName);
    g_platform.window->MessageBox(hwnd, text::kConfigWriteError, text::kCaptionFileError, kBoxOk);
    return -2;
  }
  if (!files.Replace(kConfigTempName, text::kConfigFileName)) {
    // The old file is still in place (perhaps because it is read-only): the settings could not
    // be stored, as when the file cannot be created at all.
    ReportNotStored(files.LastFailure());
    files.Remove(kConfigTempName);
    return -1;
  }
  // The new name must reach the device too, or a power cut could bring the old file back.
  if (!files.SyncDirectory(".")) {
    ReportLine(std::string("the settings are in ") + text::kConfigFileName +
               ", but its directory could not be flushed to the device: " + files.LastFailure());
  }
  return 0;
}
