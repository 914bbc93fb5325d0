// Where the main window's boxes stand on a terminal. The window's layout is in pixels of a
// 1016 x 714 client area; the terminal shows that client area between the title and menu rows
// above and the status row below, in proportion to its size:
//
// - Boxes that touch or overlap by a few pixels share a border line, as the cells of a table do.
// - The panel grid keeps its rows and columns; every panel row gets the same number of cell rows,
//   so that the visible lines the monitor measures on panel 0 hold for every panel.
// - The bottom band (the error log beside the three counter boxes) gets its share of the height,
//   but at least two rows per counter box; the counter column is at least wide enough for its
//   caption.
// - The panel columns and the band's columns are placed in proportion to their pixel positions,
//   each at least wide enough for its caption.
//
// A terminal of 80 x 24 cells holds every grid the settings allow. A panel narrower than its
// lines shows each of them whole over two or more rows where its height allows.
#pragma once

#include <utility>
#include <vector>

#include "app/monitor_state.h"
#include "platform/memory/memory_surface.h"

// The smallest terminal the monitor works in.
constexpr int kMinColumns = 80;
constexpr int kMinRows = 24;
inline bool TooSmall(int columns, int rows) {
  return columns < kMinColumns || rows < kMinRows;
}
// The rows above the client area (the title, the menu bar) and below it (the status line).
constexpr int kTitleRow = 0;
constexpr int kMenuRow = 1;
constexpr int kRowsAbove = kMenuRow + 1;
constexpr int kRowsBelow = 1;

// A box in cells: the columns and rows of its border lines. Its lines are shown strictly inside.
struct CellRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int InnerWidth() const { return right - left - 1; }
  int InnerHeight() const { return bottom - top - 1; }
};

// A box as the window lays it out.
struct PixelBox {
  WindowHandle handle = kNoWindow;
  Rect rect;
  int caption_cells = 0;  // the width of its caption
};

class CellLayout {
 public:
  CellLayout() = default;
  // Lays out the boxes of a client area of client pixels on a screen of columns x rows cells.
  // The boxes from band_top down form the bottom band, those above it the panel grid.
  CellLayout(const std::vector<PixelBox>& boxes, const Rect& client, int band_top, int columns,
             int rows);

  // False when the screen is too small for every box to show a line and its caption.
  bool fits() const { return fits_; }
  // The cells of a box, or nullptr for a box that was not laid out.
  const CellRect* Find(WindowHandle box) const;
  const std::vector<std::pair<WindowHandle, CellRect>>& boxes() const { return cells_; }

 private:
  std::vector<std::pair<WindowHandle, CellRect>> cells_;
  bool fits_ = true;
};

// The layout of the in-memory main window's boxes on the terminal, kept for the last screen
// size that was large enough, and the measure of the lines each box shows that the surface
// answers the monitor with.
class CellGeometry : public LineMeasure {
 public:
  explicit CellGeometry(MemorySurface* surface) : surface_(surface) {}

  // The screen now has this size. A screen smaller than the minimum keeps the last size that
  // was large enough (the boxes keep their lines meanwhile).
  void SetScreen(int columns, int rows);
  // Boxes were created or destroyed.
  void Invalidate() { valid_ = false; }
  const CellLayout& Layout();
  // The rows of the box's cell that one of its lines takes: a panel too narrow for the usual
  // line of the sensor count shows each line over as many rows as it needs, where its height
  // has room for one such line; every other box one row a line.
  int RowsPerLine(const MemoryWindow& box);
  int LinesShown(const MemoryWindow& box) override;

 private:
  MemorySurface* surface_;
  int columns_ = kMinColumns;
  int rows_ = kMinRows;
  bool valid_ = false;
  CellLayout layout_;
};
