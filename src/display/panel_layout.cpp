#include "display/panel_layout.h"

#include <cstdio>

#include "app/monitor_state.h"
#include "app/platform.h"
#include "app/texts.h"

namespace {

// One grid: its shape and the geometry of its cells, in client-area pixels.
struct Grid {
  int columns = 0;
  int rows = 0;
  int width = 0;
  int height = 0;
  int column_step = 0;
  int row_step = 0;
};

// The grid for a sensor count in a client area of w x h pixels. The shape depends on the count
// alone, so the settings dialog's prediction of the panel count comes from here too.
Grid GridFor(int sensor_count, int w, int h) {
  // Whatever the count, no cell may lie beyond the end of panel_boxes: above 40 it gets the
  // largest grid (5 x 8 cells).
  const int n = sensor_count > kPanelTableSize ? kPanelTableSize : sensor_count;
  const int band = h - 212;  // the height above the bottom band of boxes, less the margins
  if (n <= 0) return {};
  if (n <= 2) return {2, 1, (w - 4) / 2, band, (w - 2) / 2, 0};
  if (n <= 4) return {2, 2, (w - 4) / 2, band / 2 + 5, (w - 4) / 2, band / 2};
  if (n <= 6) return {3, 2, (w - 5) / 3, band / 2 + 4, (w - 4) / 3, band / 2};
  if (n <= 9) return {3, 3, (w - 5) / 3, band / 3 + 4, (w - 4) / 3, band / 3};
  // Five columns of one-line panels, as many rows as n / 5 rounded up.
  return {5, (n + 4) / 5, (w - 7) / 5, 80, (w - 4) / 5, 70};
}

}  // namespace

int PanelCountFor(int sensor_count) {
  const Grid grid = GridFor(sensor_count, 0, 0);
  const int cells = grid.columns * grid.rows;
  return cells > kMaxPanels ? kMaxPanels : cells;
}

void LayoutPanels(WindowHandle parent, int sensor_count) {
  WindowSurface& surface = *g_platform.window;
  const Rect& client = g_state.client_rect;
  const Grid grid = GridFor(sensor_count, client.right - client.left, client.bottom - client.top);
  const int x0 = client.left + 2;
  const int y0 = client.top + 2;

  int cells = 0;
  for (int r = 0; r < grid.rows; ++r) {
    for (int c = 0; c < grid.columns; ++c) {
      const int i = r * grid.columns + c;
      char caption[32];
      std::snprintf(caption, sizeof caption, text::kPanelCaptionFormat, i);
      g_state.panel_boxes[i] =
          surface.CreateListBox(parent, caption, kStyleScrolledBox, x0 + c * grid.column_step,
                                y0 + r * grid.row_step, grid.width, grid.height);
      ++cells;
    }
  }

  // Cells beyond the 32nd (31 or 32 sensors give 35) exist only for a moment.
  g_state.panel_count = cells;
  if (cells > kMaxPanels) {
    for (int i = kMaxPanels; i < cells; ++i) surface.DestroyWindow(g_state.panel_boxes[i]);
    g_state.panel_count = kMaxPanels;
  }
  // No entry past the live panels keeps a handle: a destroyed panel's handle must not be used
  // again, and the entries of an earlier, larger grid are dead too.
  for (int i = g_state.panel_count; i < kPanelTableSize; ++i) g_state.panel_boxes[i] = kNoWindow;
}

namespace {

// Whole lines that fit into a box's client area; false when the box cannot be measured.
bool VisibleLines(WindowHandle box, int* lines, bool* no_rect) {
  WindowSurface& surface = *g_platform.window;
  Rect rect;
  *no_rect = !surface.ClientRect(box, &rect);
  if (*no_rect) return false;
  const int item_height = surface.GetItemHeight(box, 0);
  // A failed query (kListError) and a height of 0, which cannot be divided by, alike.
  if (item_height <= 0) return false;
  *lines = (rect.bottom - rect.top) / item_height;
  return true;
}

}  // namespace

int MeasureListBoxes(WindowHandle /*hwnd*/) {
  int lines = 0;
  bool no_rect = false;
  if (!VisibleLines(g_state.panel_boxes[0], &lines, &no_rect)) return no_rect ? 1 : 2;
  g_state.panel_visible_lines = lines;
  if (!VisibleLines(g_state.error_log_box, &lines, &no_rect)) return no_rect ? 3 : 4;
  g_state.log_visible_lines = lines;
  return 0;
}
