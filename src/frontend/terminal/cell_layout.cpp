#include "frontend/terminal/cell_layout.h"

#include <algorithm>

#include "display/panel_layout.h"
#include "frontend/terminal/cell_text.h"

namespace {

// Rows each box of the panel grid or each counter box needs: its top border (with the caption)
// and one line; the bottom border is the next box's top border.
constexpr int kMinBoxRows = 2;
// Columns beyond the caption: the two corners and one cell of space.
constexpr int kCaptionMargin = 3;

// a / b rounded to the nearest whole number, halves up; a >= 0, b > 0.
int RoundDiv(long long a, long long b) {
  return static_cast<int>((2 * a + b) / (2 * b));
}

// The distinct values of key over boxes, sorted.
template <typename Key>
std::vector<int> Distinct(const std::vector<const PixelBox*>& boxes, Key key) {
  std::vector<int> values;
  for (const PixelBox* b : boxes) values.push_back(key(*b));
  std::sort(values.begin(), values.end());
  values.erase(std::unique(values.begin(), values.end()), values.end());
  return values;
}

int IndexOf(const std::vector<int>& values, int value) {
  return static_cast<int>(std::lower_bound(values.begin(), values.end(), value) - values.begin());
}

// Column positions of the distinct left edges of boxes: in proportion to the pixels, each
// column at least as wide as its captions need. The last entry is the right edge of the screen.
// False when they do not fit into columns.
bool PlaceColumns(const std::vector<const PixelBox*>& boxes, const std::vector<int>& lefts,
                  const Rect& client, int columns, std::vector<int>* positions) {
  const int width = client.right - client.left;
  positions->assign(lefts.size() + 1, 0);
  for (std::size_t i = 0; i < lefts.size(); ++i) {
    int needed = 0;
    for (const PixelBox* b : boxes) {
      if (b->rect.left == lefts[i]) needed = std::max(needed, b->caption_cells + kCaptionMargin);
    }
    if (i > 0) {
      const long long offset = std::max(lefts[i] - client.left, 0);
      (*positions)[i] = std::max((*positions)[i], RoundDiv(offset * (columns - 1), width));
    }
    (*positions)[i + 1] = (*positions)[i] + needed;
  }
  const bool fits = positions->back() <= columns - 1;
  positions->back() = columns - 1;
  return fits;
}

}  // namespace

CellLayout::CellLayout(const std::vector<PixelBox>& boxes, const Rect& client, int band_top_px,
                       int columns, int rows) {
  const int band_px = std::max(client.bottom - band_top_px, 1);
  std::vector<const PixelBox*> panels;
  std::vector<const PixelBox*> band;
  for (const PixelBox& b : boxes) (b.rect.top < band_top_px ? panels : band).push_back(&b);

  // Rows: positions of border lines, from the first row of the client area to its last.
  const int first = kRowsAbove;
  const int span = rows - 1 - kRowsBelow - first;
  const std::vector<int> band_tops = Distinct(band, [](const PixelBox& b) { return b.rect.top; });
  const int band_min = kMinBoxRows * std::max<int>(1, static_cast<int>(band_tops.size()));
  int band_rows = std::max(
      band_min, RoundDiv(static_cast<long long>(span) * band_px, client.bottom - client.top));
  const std::vector<int> panel_tops =
      Distinct(panels, [](const PixelBox& b) { return b.rect.top; });
  const int panel_rows = static_cast<int>(panel_tops.size());
  int row_height = 0;
  if (panel_rows > 0) {
    row_height = std::max(kMinBoxRows, (span - band_rows) / panel_rows);
    band_rows = span - row_height * panel_rows;  // the band takes what the equal rows leave
  }
  fits_ = band_rows >= band_min;
  const int band_row = first + span - band_rows;

  const std::vector<int> panel_lefts =
      Distinct(panels, [](const PixelBox& b) { return b.rect.left; });
  const std::vector<int> band_lefts = Distinct(band, [](const PixelBox& b) { return b.rect.left; });
  std::vector<int> panel_columns;
  std::vector<int> band_columns;
  fits_ = PlaceColumns(panels, panel_lefts, client, columns, &panel_columns) && fits_;
  fits_ = PlaceColumns(band, band_lefts, client, columns, &band_columns) && fits_;

  auto band_row_of = [&](int y) {
    const int offset = std::clamp(y, band_top_px, client.bottom) - band_top_px;
    return band_row + RoundDiv(static_cast<long long>(offset) * band_rows, band_px);
  };
  for (const PixelBox& b : boxes) {
    CellRect cell;
    if (b.rect.top < band_top_px) {
      const int row = IndexOf(panel_tops, b.rect.top);
      const int column = IndexOf(panel_lefts, b.rect.left);
      cell = {panel_columns[static_cast<std::size_t>(column)], first + row * row_height,
              panel_columns[static_cast<std::size_t>(column) + 1], first + (row + 1) * row_height};
    } else {
      const int column = IndexOf(band_lefts, b.rect.left);
      cell = {band_columns[static_cast<std::size_t>(column)], band_row_of(b.rect.top),
              band_columns[static_cast<std::size_t>(column) + 1], band_row_of(b.rect.bottom)};
    }
    cells_.emplace_back(b.handle, cell);
  }
}

const CellRect* CellLayout::Find(WindowHandle box) const {
  for (const auto& entry : cells_) {
    if (entry.first == box) return &entry.second;
  }
  return nullptr;
}

void CellGeometry::SetScreen(int columns, int rows) {
  if (TooSmall(columns, rows)) return;
  if (columns == columns_ && rows == rows_) return;
  columns_ = columns;
  rows_ = rows;
  valid_ = false;
}

const CellLayout& CellGeometry::Layout() {
  if (valid_) return layout_;
  std::vector<PixelBox> boxes;
  for (const WindowHandle handle : surface_->Children(surface_->MainWindow())) {
    const MemoryWindow* w = surface_->Find(handle);
    if (w == nullptr || !w->list_box) continue;
    boxes.push_back(PixelBox{handle, w->rect, CellWidth(WideText(w->caption))});
  }
  // The bottom band begins where the error log does (while there is none, every box is a panel).
  const Rect& client = MemorySurface::kMainClientRect;
  const MemoryWindow* log = surface_->Find(g_state.error_log_box);
  const int band_top = log != nullptr && log->alive ? log->rect.top : client.bottom;
  layout_ = CellLayout(boxes, client, band_top, columns_, rows_);
  valid_ = true;
  return layout_;
}

int CellGeometry::RowsPerLine(const MemoryWindow& box) {
  const CellRect* cell = Layout().Find(box.handle);
  bool panel = false;
  for (int i = 0; i < g_state.panel_count && i < kMaxPanels; ++i) {
    panel = panel || g_state.panel_boxes[i] == box.handle;
  }
  if (cell == nullptr || !panel) return 1;
  // The usual line of each shape: more sensors, shorter lines.
  const char* usual = g_state.sensor_count <= kMaxSensorsWithRawBytes
                          ? "000-00:00:00-00-+00.0℃/00.0%RH-<00-00-00-00-00>- 0.0"
                      : g_state.sensor_count <= kMaxSensorsWithGrowingPanels
                          ? "000-00:00:00-00-+00.0℃/00.0%RH- 0.0"
                          : "000-+00.0℃/00.0%RH";
  const int rows =
      static_cast<int>(BreakIntoRows(WideText(usual), std::max(cell->InnerWidth(), 1)).size());
  return rows <= cell->InnerHeight() ? rows : 1;
}

int CellGeometry::LinesShown(const MemoryWindow& box) {
  const CellRect* cell = Layout().Find(box.handle);
  return cell != nullptr ? std::max(cell->InnerHeight(), 0) / RowsPerLine(box) : 0;
}
