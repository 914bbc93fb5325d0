#include "support/core_fixture.h"

#include <algorithm>

#include "display/window_surface.h"
#include "support/allocation_count.h"

Bytes MakeFrame(std::uint8_t id, std::uint8_t extra, std::uint8_t temp_lo, std::uint8_t temp_hi,
                std::uint8_t hum_lo, std::uint8_t hum_hi) {
  const unsigned sum = id + extra + temp_lo + temp_hi + hum_lo + hum_hi;
  const auto check = static_cast<std::uint8_t>((256 - sum % 256) % 256);
  return {0xCC, id, extra, temp_lo, temp_hi, hum_lo, hum_hi, check, 0xDD};
}

Bytes ExampleFrame() {
  return {0xCC, 0x05, 0x3A, 0x71, 0x01, 0xC8, 0x01, 0x86, 0xDD};
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

Bytes StreamSource::Stream(std::size_t length) {
  Bytes s;
  while (s.size() < length) {
    switch (Next(5)) {
      case 0:
        s.push_back(Next(2) == 0 ? 0xCC : 0xDD);
        break;
      case 1:
        s.push_back(static_cast<std::uint8_t>(Next(256)));
        break;
      default: {
        const auto byte = [this] { return static_cast<std::uint8_t>(Next(256)); };
        const auto id = static_cast<std::uint8_t>(Next(3) == 0 ? Next(256) : Next(40));
        Bytes f = MakeFrame(id, byte(), byte(), byte(), byte(), byte());
        if (Next(5) == 0) f[1 + Next(7)] ^= static_cast<std::uint8_t>(1 + Next(255));
        if (Next(6) == 0) f.resize(Next(9));
        s.insert(s.end(), f.begin(), f.end());
      }
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
  events.push_back(box.caption + ": " + box.lines[static_cast<std::size_t>(index)]);
}

void EventLog::OnBeep(unsigned type) {
  events.push_back("beep " + std::to_string(type));
}

void EventLog::OnTimer(int timer_id, bool armed, unsigned period_ms) {
  events.push_back(armed ? "set timer " + std::to_string(timer_id) + " " + std::to_string(period_ms)
                         : "kill timer " + std::to_string(timer_id));
}

void CoreTest::SetUp() {
  ResetMonitorState();
  g_platform = Platform{};
  g_platform.port = &port_;
  g_platform.clock = &clock_;
  g_platform.window = &surface_;
  main_ = surface_.CreateMainWindow(nullptr);

  // Panels of a 2 x 2 grid show 13 lines; the error log 5.
  for (int id = 0; id < kPanels; ++id) {
    g_state.panel_boxes[id] =
        surface_.CreateListBox(main_, ("panel " + std::to_string(id)).c_str(), kStyleScrolledBox,
                               (id % 2) * 508, (id / 2) * 258, 506, 256);
  }
  g_state.panel_count = kPanels;
  g_state.sensor_count = kPanels;
  g_state.panel_visible_lines = surface_.VisibleLines(g_state.panel_boxes[0]);
  g_state.error_log_box = surface_.CreateListBox(main_, "log", kStyleScrolledBox, 0, 520, 600, 121);
  g_state.log_visible_lines = surface_.VisibleLines(g_state.error_log_box);
  g_state.good_count_box =
      surface_.CreateListBox(main_, "good", kStyleCounterBox, 610, 520, 120, 60);
  g_state.bad_count_box = surface_.CreateListBox(main_, "bad", kStyleCounterBox, 740, 520, 120, 60);
  g_state.error_ratio_box =
      surface_.CreateListBox(main_, "ratio", kStyleCounterBox, 870, 520, 120, 60);

  g_state.port_handle = port_.Open(2);
  g_state.port_open = 1;
  g_state.running = 1;
}

void CoreTest::TearDown() {
  EXPECT_EQ(port_.CallsOnClosedHandles(), 0);
  g_platform = Platform{};
  ResetMonitorState();
}

void CoreTest::AddPanels(int count) {
  for (int id = g_state.panel_count; id < count; ++id) {
    g_state.panel_boxes[id] =
        surface_.CreateListBox(main_, ("panel " + std::to_string(id)).c_str(), kStyleScrolledBox,
                               (id % 4) * 254, (id / 4) * 128, 252, 126);
  }
  g_state.panel_count = count;
}

void CoreTest::FillRx(const Bytes& bytes) {
  ASSERT_LE(bytes.size(), sizeof g_state.rx_buffer);
  std::copy(bytes.begin(), bytes.end(), g_state.rx_buffer);
  g_state.rx_length = static_cast<int>(bytes.size());
}

Bytes CoreTest::Rx() const {
  return Bytes(g_state.rx_buffer, g_state.rx_buffer + g_state.rx_length);
}
