// The terminal's cells: the window's pixel layout mapped onto terminals of several sizes, and
// texts clipped to a width without splitting a double-width character.
#include <clocale>
#include <set>

#include "display/panel_layout.h"
#include "frontend/terminal/cell_layout.h"
#include "frontend/terminal/cell_text.h"
#include "platform/memory/memory_window_proc.h"
#include "support/fixture.h"

namespace {

// The widths of CJK characters are the locale's: these tests use the one the monitor chooses.
class CellTest : public AppFixture {
 protected:
  void SetUp() override {
    saved_ = std::setlocale(LC_CTYPE, nullptr);
    std::setlocale(LC_CTYPE, "C.UTF-8");
  }
  void TearDown() override { std::setlocale(LC_CTYPE, saved_.c_str()); }
  std::string saved_;
};

bool InsidesOverlap(const CellRect& a, const CellRect& b) {
  return a.left + 1 < b.right && b.left + 1 < a.right && a.top + 1 < b.bottom &&
         b.top + 1 < a.bottom;
}

TEST_F(CellTest, EveryGridOnEveryTerminalShowsTheLinesTheMonitorMeasuresInEachPanel) {
  const int sizes[][2] = {{80, 24}, {81, 25}, {100, 30}, {132, 43}, {200, 60}, {333, 101}};
  for (int sensors = 1; sensors <= kMaxSensorCount; ++sensors) {
    Restart();
    CellGeometry geometry(&surface_);
    surface_.SetLineMeasure(&geometry);
    CreateWith(sensors);
    const std::vector<WindowHandle> boxes = surface_.Children(hwnd_);
    std::set<int> pixel_rows, pixel_columns;
    for (int i = 0; i < g_state.panel_count; ++i) {
      pixel_rows.insert(surface_.Find(g_state.panel_boxes[i])->rect.top);
      pixel_columns.insert(surface_.Find(g_state.panel_boxes[i])->rect.left);
    }
    for (const auto& size : sizes) {
      SCOPED_TRACE(std::to_string(sensors) + " sensors on " + std::to_string(size[0]) + " x " +
                   std::to_string(size[1]));
      geometry.SetScreen(size[0], size[1]);
      ASSERT_EQ(MeasureListBoxes(hwnd_), 0);
      const CellLayout& layout = geometry.Layout();
      ASSERT_TRUE(layout.fits());
      ASSERT_EQ(layout.boxes().size(), boxes.size());
      std::set<int> rows, columns;
      for (const auto& [handle, cell] : layout.boxes()) {
        const MemoryWindow& box = *surface_.Find(handle);
        // Within the client rows, wide enough for its caption, at least one line.
        EXPECT_GE(cell.left, 0);
        EXPECT_LE(cell.right, size[0] - 1);
        EXPECT_GE(cell.top, kRowsAbove);
        EXPECT_LE(cell.bottom, size[1] - 1 - kRowsBelow);
        EXPECT_GE(cell.InnerWidth(), CellWidth(WideText(box.caption))) << box.caption;
        EXPECT_GE(cell.InnerHeight(), 1) << box.caption;
        const bool panel = handle != g_state.error_log_box && handle != g_state.good_count_box &&
                           handle != g_state.bad_count_box && handle != g_state.error_ratio_box;
        if (panel) {
          EXPECT_EQ(cell.InnerHeight(), g_state.panel_visible_lines) << box.caption;
          rows.insert(cell.top);
          columns.insert(cell.left);
        } else if (handle == g_state.error_log_box) {
          EXPECT_EQ(cell.InnerHeight(), g_state.log_visible_lines);
        }
        for (const auto& [other, other_cell] : layout.boxes()) {
          EXPECT_FALSE(other != handle && InsidesOverlap(cell, other_cell)) << box.caption;
        }
      }
      // The grid keeps its rows and columns.
      EXPECT_EQ(rows.size(), pixel_rows.size());
      EXPECT_EQ(columns.size(), pixel_columns.size());
    }
  }
}

TEST_F(CellTest, TextsAreClippedToWholeCharactersOfOneOrTwoCells) {
  const struct {
    const char* text;
    int cells;
    const char* clipped;
  } cases[] = {
      {"传感器0:", 8, "传感器0:"},
      {"传感器0:", 7, "传感器0"},
      {"传感器0:", 5, "传感"},
      {"传感器0:", 1, ""},
      {"ab传感", 3, "ab"},
      {"+23.1℃/45.6%RH", 6, "+23.1℃"},
      {"", 4, ""},
      {"x", 0, ""},
  };
  for (const auto& c : cases) {
    const std::wstring clipped = ClipToCells(WideText(c.text), c.cells);
    EXPECT_EQ(clipped, WideText(c.clipped)) << c.text << " in " << c.cells;
    EXPECT_LE(CellWidth(clipped), c.cells);
  }
  EXPECT_EQ(CellWidth(WideText("错误纪录")), 8);
  // Bytes that are no UTF-8 and control characters cannot reach the terminal as they are.
  EXPECT_EQ(WideText("a\xff\xe4\xbc"
                     "b\x1b[2J"),
            std::wstring(L"a\xFFFD\xFFFD"
                         L"b?[2J"));
}

}  // namespace
