#include "support/app_fixture.h"

#include "app/platform.h"
#include "app/resource_ids.h"
#include "platform/memory/memory_window_proc.h"

AppFixture::AppFixture() {
  ResetMonitorState();
  g_platform.port = &port_;
  g_platform.clock = &clock_;
  g_platform.window = &surface_;
  g_platform.files = &files_;
}

AppFixture::~AppFixture() {
  g_platform = Platform{};
}

void AppFixture::Restart() {
  ResetMonitorState();
  surface_ = MemorySurface(&clock_);
  port_ = ScriptedSerialPort(&clock_);
  files_ = MemoryFileStore(kStartDir);
  hwnd_ = kNoWindow;
}

void AppFixture::PutConfig(const std::vector<std::uint8_t>& bytes) {
  files_.PutFile("wscfg.cfg", bytes);
}

void AppFixture::Create() {
  hwnd_ = surface_.CreateMainWindow(MonitorWindowProc);
}

void AppFixture::CreateWith(int sensors, int save) {
  PutConfig({1, 0, static_cast<std::uint8_t>(save), static_cast<std::uint8_t>(sensors)});
  Create();
}

void AppFixture::Command(int command) {
  surface_.Dispatch(hwnd_, MemoryMessage::kCommand, command);
}

void AppFixture::Settings(const std::function<int(MemoryDialog&)>& operator_actions) {
  surface_.SetDialogHandler(
      [operator_actions](WindowHandle) { return RunMemorySettingsDialog(operator_actions); });
  Command(CMD_SETTINGS);
}

void AppFixture::SetSensors(const std::string& typed) {
  Settings([&typed](MemoryDialog& d) {
    d.Type(IDC_SENSOR_COUNT, typed);
    return IDC_CONFIRM;
  });
}

void AppFixture::Run(std::uint32_t ms) {
  for (std::uint32_t t = 0; t < ms; t += 10) {
    clock_.Advance(10);
    if (surface_.TimerDue(clock_.TickCount()) >= 0) {
      surface_.Dispatch(hwnd_, MemoryMessage::kTimer, POLL_TIMER_ID);
    }
  }
}

const std::vector<std::string>& AppFixture::PanelLines(int i) const {
  return surface_.Lines(g_state.panel_boxes[i]);
}

const std::vector<std::string>& AppFixture::LogLines() const {
  return surface_.Lines(g_state.error_log_box);
}

std::string AppFixture::Only(WindowHandle box) const {
  const std::vector<std::string>& lines = surface_.Lines(box);
  return lines.size() == 1 ? lines[0] : "<" + std::to_string(lines.size()) + " lines>";
}

std::string AppFixture::MenuRow() const {
  std::string row;
  for (int command : {CMD_OPEN, CMD_CLOSE, CMD_START, CMD_STOP, CMD_SETTINGS, CMD_EXIT}) {
    row += surface_.MenuState(command) == kMenuEnabled ? '+' : '-';
  }
  return row;
}

std::vector<std::string> AppFixture::Boxes() const {
  std::vector<std::string> out;
  for (const auto& m : surface_.Messages()) out.push_back(m.caption + "|" + m.text);
  return out;
}

std::vector<std::uint8_t> AppFixture::Frame(std::uint8_t sensor_id, std::uint16_t temp_raw,
                                            std::uint16_t hum_raw, std::uint8_t extra) {
  std::vector<std::uint8_t> f = {0xCC,
                                 sensor_id,
                                 extra,
                                 static_cast<std::uint8_t>(temp_raw & 0xFF),
                                 static_cast<std::uint8_t>(temp_raw >> 8),
                                 static_cast<std::uint8_t>(hum_raw & 0xFF),
                                 static_cast<std::uint8_t>(hum_raw >> 8),
                                 0,
                                 0xDD};
  unsigned sum = 0;
  for (int i = 1; i <= 6; ++i) sum += f[static_cast<std::size_t>(i)];
  f[7] = static_cast<std::uint8_t>((256 - sum % 256) % 256);
  return f;
}
