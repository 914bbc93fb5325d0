// Panel lines: the three shapes, missing values, intervals, scrolling, and which panel a
// reading may touch.
#include <climits>

#include "reception/reading.h"
#include "support/fixture.h"

namespace {

class ReadingTest : public CoreTest {
 protected:
  ReadingTest() { sensors_ = 8; }  // nine panels
  void Put(int k, const Bytes& frame) {
    std::copy(frame.begin(), frame.end(), g_state.frame_table[k]);
  }
  // Shows frame as entry 0 at the given tick and time of day.
  int Show(const Bytes& frame, std::uint32_t tick = 0, int hour = 14, int minute = 5,
           int second = 9) {
    Put(0, frame);
    clock_.SetTick(tick);
    LocalTime t = clock_.Now();
    t.hour = static_cast<std::uint16_t>(hour);
    t.minute = static_cast<std::uint16_t>(minute);
    t.second = static_cast<std::uint16_t>(second);
    clock_.SetLocalTime(t);
    return ShowReading(0);
  }
  std::string Last(int id) const { return Panel(id).empty() ? "" : Panel(id).back(); }
};

TEST_F(ReadingTest, ExampleLinesInEachShape) {
  g_state.sensor_count = 4;
  g_state.sensor_prev_tick[5] = 1000;  // the start of the run
  ASSERT_EQ(Show(ExampleFrame(), 6200), 0);
  Show({0xCC, 0x05, 0x3B, 0xFF, 0xFF, 0xFF, 0xFF, 0xC4, 0xDD}, 11200, 14, 5, 14);
  g_state.sensor_frame_count[7] = 12;
  g_state.sensor_prev_tick[7] = 50000;
  Show({0xCC, 0x07, 0x3C, 0x28, 0x08, 0x20, 0x03, 0x6A, 0xDD}, 80010, 9, 0, 0);
  EXPECT_EQ(Panel(5), Lines({"000-14:05:09-3A-+23.1℃/45.6%RH-<71-01-C8-01-86>- 5.2",
                             "001-14:05:14-3B-<----/---->-<FF-FF-FF-FF-C4>- 5.0"}));
  EXPECT_EQ(Last(7), "012-09:00:00-3C--2.5℃/80.0%RH-<28-08-20-03-6A>-30.0");

  g_state.sensor_count = 9;
  g_state.sensor_frame_count[5] = 0;
  g_state.sensor_prev_tick[5] = 1000;
  Show(ExampleFrame(), 6200);
  EXPECT_EQ(Last(5), "000-14:05:09-3A-+23.1℃/45.6%RH- 5.2");

  g_state.sensor_count = 32;
  g_state.sensor_frame_count[5] = 0;
  Show(ExampleFrame());
  EXPECT_EQ(Panel(5), Lines({"000-+23.1℃/45.6%RH"}));
  g_state.sensor_frame_count[5] = INT_MAX;  // the count stops there
  Show(ExampleFrame());
  EXPECT_EQ(g_state.sensor_frame_count[5], INT_MAX);
}

TEST_F(ReadingTest, TenOrMoreSensorsShowOnlyTheLatestReadingAndLeaveTheTicks) {
  g_state.sensor_count = 10;
  g_state.sensor_prev_tick[2] = 77;
  g_state.sensor_last_tick[2] = 88;
  Show(MakeFrame(2, 0x3A, 0x0171, 0x01C8), 5000);
  Show(MakeFrame(2, 0x3A, 0x0800, 0x0034), 6000);  // sign bit, zero magnitude
  EXPECT_EQ(Panel(2), Lines({"001-+0.0℃/05.2%RH"}));
  EXPECT_EQ(surface_.Find(g_state.panel_boxes[2])->flashes, 2);
  EXPECT_EQ(g_state.sensor_prev_tick[2], 77u);
  EXPECT_EQ(g_state.sensor_last_tick[2], 88u);
  EXPECT_TRUE(surface_.top_index_requests.empty());
}

TEST_F(ReadingTest, ValuesThatLookMissingButAreNot) {
  g_state.sensor_count = 10;
  const std::pair<Bytes, const char*> cases[] = {
      {MakeFrame(1, 0, 0xFF00, 0x00FF), "000--112.0℃/25.5%RH"},
      {MakeFrame(1, 0, 0x00FF, 0xFF00), "001-+15.9℃/6528.0%RH"},
      {MakeFrame(1, 0, 0xFFFF, 0x03E8), "002-<----/100.0%RH"},
      {MakeFrame(1, 0, 0xF974, 0xFFFF), "003--23.3℃/---->"},  // -23.25; bits 4 to 7 unused
  };
  for (const auto& [frame, line] : cases) {
    Show(frame);
    EXPECT_EQ(Last(1), line);
  }
}

TEST_F(ReadingTest, IntervalAcrossATickCounterWrap) {
  g_state.sensor_prev_tick[0] = 0xFFFFF000u;
  Show(MakeFrame(0, 0, 0, 0), 0x00000400u);  // 0x1400 ms later
  EXPECT_EQ(Last(0).substr(Last(0).size() - 5), "- 5.1");
  EXPECT_EQ(g_state.sensor_prev_tick[0], 0x400u);
  // A second reading within the same poll shows no time passed.
  Show(MakeFrame(0, 0, 0, 0), 0x00000400u);
  EXPECT_EQ(Last(0).substr(Last(0).size() - 5), "- 0.0");
}

TEST_F(ReadingTest, RefusedSensorIdsLogAndChangeNothingElse) {
  g_state.bad_frames = 3;
  for (int id : {32, 255}) {
    Put(3, MakeFrame(static_cast<std::uint8_t>(id), 0x3A, 0x0171, 0x01C8));
    EXPECT_EQ(ShowReading(3), -1);
  }
  EXPECT_EQ(Log(), Lines({"00003 -> 09:05:00 -- ERR5,ID > 32!CC-20-3A-71-01-C8-01-6B-DD-",
                          "00003 -> 09:05:00 -- ERR5,ID > 32!CC-FF-3A-71-01-C8-01-8C-DD-"}));
  for (int id = 0; id < kSensorIdLimit; ++id) {
    EXPECT_EQ(g_state.sensor_frame_count[id], 0);
    EXPECT_EQ(g_state.sensor_last_tick[id], 0u);
  }
  for (int i = 0; i < g_state.panel_count; ++i) EXPECT_TRUE(Panel(i).empty());
}

TEST_F(ReadingTest, ReadingOfASensorWithoutLivePanelTouchesNoWindow) {
  // Entries beyond panel_count may still name a destroyed panel's handle, which the window
  // system can have handed to a live window since: here, another sensor's panel.
  g_state.panel_boxes[10] = g_state.panel_boxes[0];
  g_state.sensor_prev_tick[10] = 100;
  Show(MakeFrame(10, 0, 0, 0), 2100);
  g_state.sensor_count = 12;
  Show(MakeFrame(10, 0, 0, 0), 2100);
  EXPECT_TRUE(Panel(0).empty());
  EXPECT_EQ(surface_.Find(g_state.panel_boxes[0])->flashes, 0);
  EXPECT_EQ(g_state.sensor_frame_count[10], 2);
  EXPECT_EQ(g_state.sensor_last_tick[10], 2100u);
  EXPECT_EQ(g_state.sensor_prev_tick[10], 2100u);
}

TEST_F(ReadingTest, FullPanelScrollsTwoPastTheLastPageWhichTheBoxLimits) {
  const int visible = g_state.panel_visible_lines;
  const WindowHandle panel = g_state.panel_boxes[1];
  for (int i = 0; i < visible + 3; ++i) Show(MakeFrame(1, 0, 0, 0));
  // Asked only once the panel is full, with count - visible + 2 each time.
  using Request = std::pair<WindowHandle, int>;
  EXPECT_EQ(surface_.top_index_requests,
            std::vector<Request>({{panel, 2}, {panel, 3}, {panel, 4}, {panel, 5}}));
  // The newest line stands at the bottom.
  EXPECT_EQ(surface_.TopIndex(panel), 3);
}

}  // namespace
