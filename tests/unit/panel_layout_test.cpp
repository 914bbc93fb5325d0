// The grid of sensor panels: how many panels each sensor count gets, where they stand in the
// 1016 x 714 client area of the in-memory main window, and how many lines they show.
#include "display/panel_layout.h"
#include "app/platform.h"
#include "support/fixture.h"

namespace {

class PanelLayoutTest : public AppFixture {
 protected:
  // A main window whose creation laid out no panels, so that each case lays out its own.
  void SetUp() override { CreateWith(0); }
  void LayOut(int sensors) {
    for (int i = 0; i < g_state.panel_count; ++i) surface_.DestroyWindow(g_state.panel_boxes[i]);
    LayoutPanels(hwnd_, sensors);
  }
  Rect At(int i) const { return surface_.Find(g_state.panel_boxes[i])->rect; }
};

TEST_F(PanelLayoutTest, EveryCountGetsItsGridWithAtMost32LivePanelsAndNoStaleEntries) {
  // Cells of the grid for sensor counts 0 to 40; more than 32 cells leave 32 live panels.
  constexpr int kCells[41] = {0,  2,  2,  4,  4,  6,  6,  9,  9,  9,  10, 15, 15, 15,
                              15, 15, 20, 20, 20, 20, 20, 25, 25, 25, 25, 25, 30, 30,
                              30, 30, 30, 35, 35, 35, 35, 35, 40, 40, 40, 40, 40};
  for (int n = 0; n <= 40; ++n) {
    SCOPED_TRACE("sensor count " + std::to_string(n));
    LayOut(n);
    const int live = std::min(kCells[n], 32);
    EXPECT_EQ(g_state.panel_count, live);
    EXPECT_EQ(PanelCountFor(n), live);
    const std::vector<WindowHandle> children = surface_.Children(hwnd_);
    ASSERT_EQ(static_cast<int>(children.size()), 4 + live);  // the log, three counters, panels
    for (int i = 0; i < live; ++i) {
      EXPECT_EQ(children[static_cast<std::size_t>(4 + i)], g_state.panel_boxes[i]);
      EXPECT_EQ(surface_.Find(g_state.panel_boxes[i])->caption, "传感器" + std::to_string(i) + ":");
    }
    for (int i = live; i < kPanelTableSize; ++i) EXPECT_EQ(g_state.panel_boxes[i], kNoWindow);
  }
  // Panels 32 to 34 were created after panel 31 and destroyed at once.
  const WindowHandle last = g_state.panel_boxes[31];
  ASSERT_NE(surface_.Find(last + 3), nullptr);
  EXPECT_EQ(surface_.Find(last + 3)->caption, "传感器34:");
  EXPECT_FALSE(surface_.IsAlive(last + 1));
}

TEST_F(PanelLayoutTest, GeometryInA1016By714ClientArea) {
  struct Case {
    int sensors;
    int width, height, column_step, row_step, columns;
  };
  const Case cases[] = {
      {1, 506, 502, 507, 0, 2},   {2, 506, 502, 507, 0, 2},   {3, 506, 256, 506, 251, 2},
      {4, 506, 256, 506, 251, 2}, {5, 337, 255, 337, 251, 3}, {6, 337, 255, 337, 251, 3},
      {7, 337, 171, 337, 167, 3}, {9, 337, 171, 337, 167, 3}, {10, 201, 80, 202, 70, 5},
      {17, 201, 80, 202, 70, 5},  {32, 201, 80, 202, 70, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("sensor count " + std::to_string(c.sensors));
    LayOut(c.sensors);
    for (int i = 0; i < g_state.panel_count; ++i) {
      const Rect r = At(i);
      EXPECT_EQ(r.left, 2 + (i % c.columns) * c.column_step) << "panel " << i;
      EXPECT_EQ(r.top, 2 + (i / c.columns) * c.row_step) << "panel " << i;
      EXPECT_EQ(r.right - r.left, c.width);
      EXPECT_EQ(r.bottom - r.top, c.height);
    }
  }
}

TEST_F(PanelLayoutTest, MeasuresWholeVisibleLinesAndKeepsWhatItCannotMeasure) {
  // No panels (sensor count 0): both fields keep their values.
  g_state.panel_visible_lines = 7;
  g_state.log_visible_lines = 5;
  EXPECT_EQ(MeasureListBoxes(hwnd_), 1);
  EXPECT_EQ(g_state.panel_visible_lines, 7);
  EXPECT_EQ(g_state.log_visible_lines, 5);

  // 256 px less 6 frame, 18 caption, 17 scroll bar = 215 px: 13 lines of 16 px. The error
  // log: 210 less 41 = 169 px: 10 lines.
  LayoutPanels(hwnd_, 4);
  EXPECT_EQ(MeasureListBoxes(hwnd_), 0);
  EXPECT_EQ(g_state.panel_visible_lines, 13);
  EXPECT_EQ(g_state.log_visible_lines, 10);

  LayOut(1);
  surface_.DestroyWindow(g_state.error_log_box);
  g_state.log_visible_lines = 5;
  EXPECT_EQ(MeasureListBoxes(hwnd_), 3);
  EXPECT_EQ(g_state.panel_visible_lines, 28);  // 502 - 41 = 461 px
  EXPECT_EQ(g_state.log_visible_lines, 5);
}

// A list box that reports a line height of 0 must not be divided by.
class ZeroHeightSurface : public MemorySurface {
 public:
  int GetItemHeight(WindowHandle, int) override { return 0; }
};

TEST(PanelMeasureTest, ZeroItemHeightIsAFailedQuery) {
  ResetMonitorState();
  ZeroHeightSurface surface;
  g_platform.window = &surface;
  const WindowHandle main = surface.CreateMainWindow(nullptr);
  g_state.client_rect = MemorySurface::kMainClientRect;
  LayoutPanels(main, 4);
  EXPECT_EQ(MeasureListBoxes(main), 2);
  EXPECT_EQ(g_state.panel_visible_lines, 0);
  g_platform = Platform{};
}

}  // namespace
