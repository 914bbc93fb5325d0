#include "support/fixture.h"

#include <algorithm>

#include "app/platform.h"
#include "app/resource_ids.h"
#include "support/allocation_count.h"

Bytes ExampleFrame() {
  return {0xCC, 0x05, 0x3A, 0x71, 0x01, 0xC8, 0x01, 0x86, 0xDD};
}

bool ReadBufferZero() {
  return std::all_of(std::begin(g_state.read_buffer), std::end(g_state.read_buffer),
                     [](std::uint8_t b) { return b == 0; });
}

Bytes StreamSource::Stream(std::size_t length) {
  Bytes s;
  while (s.size() < length) {
    const std::uint32_t kind = Next(5);
    if (kind == 0) {
      s.push_back(Next(2) == 0 ? 0xCC : 0xDD);
    } else if (kind == 1) {
      s.push_back(static_cast<std::uint8_t>(Next(256)));
    } else {
      const auto id = static_cast<std::uint8_t>(Next(3) == 0 ? Next(256) : Next(40));
      Bytes f = MakeFrame(id, static_cast<std::uint8_t>(Next(256)),
                          static_cast<std::uint16_t>(Next(65536)),
                          static_cast<std::uint16_t>(Next(65536)));
      if (Next(5) == 0) f[1 + Next(7)] ^= static_cast<std::uint8_t>(1 + Next(255));
      if (Next(6) == 0) f.resize(Next(9));
      s.insert(s.end(), f.begin(), f.end());
    }
  }
  s.resize(length);
  return s;
}

void RecordingSurface::SetTopIndex(WindowHandle box, int index) {
  AllocationExemption record;
  top_index_requests.emplace_back(box, index);
  MemorySurface::SetTopIndex(box, index);
}

int RecordingSurface::AddString(WindowHandle box, const char* line) {
  AllocationExemption store;
  return MemorySurface::AddString(box, line);
}

void RecordingSurface::SetTimer(WindowHandle window, int timer_id, unsigned period_ms) {
  AllocationExemption store;
  MemorySurface::SetTimer(window, timer_id, period_ms);
}

void EventLog::OnLineAdded(const MemoryWindow& box, int index) {
  std::string name = "panel ?";
  if (box.handle == g_state.error_log_box) name = "log";
  if (box.handle == g_state.good_count_box) name = "good";
  if (box.handle == g_state.bad_count_box) name = "bad";
  if (box.handle == g_state.error_ratio_box) name = "ratio";
  for (int i = 0; i < g_state.panel_count; ++i) {
    if (box.handle == g_state.panel_boxes[i]) name = "panel " + std::to_string(i);
  }
  events.push_back(name + ": " + box.lines[static_cast<std::size_t>(index)]);
}

void EventLog::OnBeep(unsigned type) {
  events.push_back("beep " + std::to_string(type));
}

void EventLog::OnTimer(int timer_id, bool armed, unsigned period_ms) {
  events.push_back(armed ? "set timer " + std::to_string(timer_id) + " " + std::to_string(period_ms)
                         : "kill timer " + std::to_string(timer_id));
}

void AppFixture::Restart() {
  ResetMonitorState();
  surface_ = RecordingSurface(&clock_);
  port_ = ScriptedSerialPort(&clock_);
  files_ = MemoryFileStore(kStartDir);
  hwnd_ = kNoWindow;
}

void AppFixture::CreateWith(int sensors, int save) {
  PutConfig({1, 0, static_cast<std::uint8_t>(save), static_cast<std::uint8_t>(sensors)});
  Create();
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
    host_.PollIfDue();
  }
}

std::string AppFixture::Only(WindowHandle box) const {
  const ::Lines lines = surface_.Lines(box);
  return lines.size() == 1 ? lines[0] : "<" + std::to_string(lines.size()) + " lines>";
}

std::string AppFixture::MenuRow() const {
  std::string row;
  for (int command : {CMD_OPEN, CMD_CLOSE, CMD_START, CMD_STOP, CMD_SETTINGS, CMD_EXIT}) {
    row += surface_.MenuState(command) == kMenuEnabled ? '+' : '-';
  }
  return row;
}

Lines AppFixture::Boxes() const {
  ::Lines out;
  for (const auto& m : surface_.Messages()) out.push_back(m.caption + "|" + m.text);
  return out;
}

void CoreTest::SetUp() {
  if (listener_ != nullptr) g_platform.readings = listener_;
  CreateWith(sensors_);
  Command(CMD_OPEN);
  Command(CMD_START);
  ASSERT_EQ(g_state.running, 1);
  for (int i = 0; i < g_state.panel_count; ++i) surface_.ResetContent(g_state.panel_boxes[i]);
  surface_.SetObserver(observer_);
}

void CoreTest::TearDown() {
  surface_.SetObserver(nullptr);
  EXPECT_EQ(port_.CallsOnClosedHandles(), 0);
  if (listener_ != nullptr) g_platform.readings = nullptr;
}

void CoreTest::FillRx(const Bytes& bytes) {
  ASSERT_LE(bytes.size(), sizeof g_state.rx_buffer);
  std::copy(bytes.begin(), bytes.end(), g_state.rx_buffer);
  g_state.rx_length = static_cast<int>(bytes.size());
}
