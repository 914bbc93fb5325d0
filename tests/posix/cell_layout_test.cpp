// The terminal's cells: the window's pixel layout mapped onto terminals of several sizes, texts
// clipped to a width without splitting a double-width character, the line on a screen too small
// for the window, and which characters draw the box lines.
#include <clocale>
#include <set>

#include "display/panel_layout.h"
#include "frontend/terminal/canvas.h"
#include "frontend/terminal/cell_layout.h"
#include "frontend/terminal/cell_text.h"
#include "frontend/terminal/main_view.h"
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
          // Lines too wide for a panel take several rows each, where it has the rows.
          EXPECT_EQ(cell.InnerHeight() / geometry.RowsPerLine(box), g_state.panel_visible_lines)
              << box.caption;
          EXPECT_GE(g_state.panel_visible_lines, 1) << box.caption;
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
  } cases[] = {{"传感器0:", 8, "传感器0:"},
               {"传感器0:", 7, "传感器0"},
               {"传感器0:", 5, "传感"},
               {"传感器0:", 1, ""},
               {"ab传感", 3, "ab"},
               {"+23.1℃/45.6%RH", 6, "+23.1℃"},
               {"", 4, ""},
               {"x", 0, ""}};
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

// However narrow the screen, the line asking for a larger one fits it whole: a shorter text
// rather than a cut one.
TEST_F(CellTest, TheTooSmallLineFitsEveryWidth) {
  for (int columns = 1; columns <= 120; ++columns) {
    const std::string text = TooSmallText(columns, 10);
    EXPECT_FALSE(text.empty());
    EXPECT_LE(static_cast<int>(text.size()), columns) << text;
  }
  const std::pair<int, const char*> cases[] = {
      {79, "Please make the terminal at least 80 x 24 (it is 79 x 10)"},
      {40, "At least 80 x 24 (now 40 x 10)"},
      {20, "At least 80 x 24"},
      {5, "80x24"},
      {4, "!"}};
  for (const auto& [columns, text] : cases) EXPECT_EQ(TooSmallText(columns, 10), text);
}

// The box-drawing characters only where the locale is UTF-8 and each of them takes one cell.
TEST_F(CellTest, BoxLinesAreAsciiWhereLineDrawingCannotBeTrusted) {
  const auto one = [](wchar_t) { return 1; };
  const auto wide_ambiguous = [](wchar_t c) { return c >= 0x2500 && c < 0x2580 ? 2 : 1; };
  const struct {
    const char* codeset;
    std::function<int(wchar_t)> width;
    LineStyle style;
  } cases[] = {
      {"UTF-8", one, LineStyle::kUnicode},
      {"UTF-8", wide_ambiguous, LineStyle::kAscii},
      {"GB18030", one, LineStyle::kAscii},
      {"ANSI_X3.4-1968", one, LineStyle::kAscii},
  };
  for (const auto& c : cases) EXPECT_EQ(ChooseLineStyle(c.codeset, c.width), c.style) << c.codeset;
  const auto drawn = [](LineStyle style) {
    UseLineStyle(style);
    return std::wstring({LineCharacter(kLineDown | kLineRight), LineCharacter(kLineLeft),
                         LineCharacter(kLineUp | kLineDown | kLineLeft), LineCharacter(kLineUp)});
  };
  EXPECT_EQ(drawn(LineStyle::kUnicode), L"\u250C\u2500\u2524\u2502");
  EXPECT_EQ(drawn(LineStyle::kAscii), L"+-+|");
}

}  // namespace
