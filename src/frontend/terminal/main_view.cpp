#include "frontend/terminal/main_view.h"

#include <curses.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/texts.h"
#include "frontend/terminal/canvas.h"
#include "frontend/terminal/cell_text.h"
#include "platform/memory/monitor_host.h"

void MainView::Draw(int columns, int rows, std::uint32_t now) {
  erase();
  const attr_t title = PartAttributes(kTitleColours, A_REVERSE) | A_BOLD;
  FillRow(kTitleRow, 0, columns, title);
  PutText(kTitleRow, 1, std::string(text::kWindowTitle), columns - 1, title);
  menu_->Draw(kMenuRow, columns, enabled_);

  const CellLayout& layout = geometry_->Layout();
  Frames frames(columns, rows);
  for (const auto& entry : layout.boxes()) frames.Add(entry.second);
  frames.Draw();
  for (const auto& entry : layout.boxes()) {
    if (const MemoryWindow* box = surface_->Find(entry.first)) DrawBox(*box, entry.second, now);
  }
  status_->Draw(rows - 1, columns, now);
}

void MainView::DrawBox(const MemoryWindow& box, const CellRect& cell, std::uint32_t now) {
  Flash& flash = flashes_[box.handle];
  if (box.flashes != flash.seen) {
    flash.seen = box.flashes;
    flash.until = now + kFlashMs;
  }
  const bool flashing = static_cast<std::int32_t>(flash.until - now) > 0;
  PutText(cell.top, cell.left + 1, box.caption, cell.InnerWidth(),
          flashing ? A_REVERSE | A_BOLD : A_BOLD);
  const int height = cell.InnerHeight();
  const int per_line = geometry_->RowsPerLine(box);
  if (per_line == 1) {
    for (int row = 0; row < height; ++row) {
      const int index = box.top_index + row;
      if (index >= static_cast<int>(box.lines.size())) break;
      const attr_t attributes = index == box.selection ? A_REVERSE : A_NORMAL;
      PutText(cell.top + 1 + row, cell.left + 1, box.lines[static_cast<std::size_t>(index)],
              cell.InnerWidth(), attributes);
    }
    return;
  }
  // Lines over several rows each. One longer than usual takes a row more: the oldest shown
  // give way, so that the newest stays whole.
  struct Shown {
    int index;
    std::vector<std::wstring> rows;
  };
  std::vector<Shown> shown;
  int used = 0;
  const int count = static_cast<int>(box.lines.size());
  const int last = std::min(count, box.top_index + height / per_line) - 1;
  for (int index = last; index >= box.top_index && index >= 0; --index) {
    std::vector<std::wstring> rows =
        BreakIntoRows(WideText(box.lines[static_cast<std::size_t>(index)]), cell.InnerWidth());
    if (used + static_cast<int>(rows.size()) > height && !shown.empty()) break;
    used += static_cast<int>(rows.size());
    shown.push_back({index, std::move(rows)});
  }
  int row = cell.top + 1;
  for (auto line = shown.rbegin(); line != shown.rend(); ++line) {
    const attr_t attributes = line->index == box.selection ? A_REVERSE : A_NORMAL;
    for (const std::wstring& text : line->rows) {
      if (row > cell.top + height) break;
      PutText(row++, cell.left + 1, text, cell.InnerWidth(), attributes);
    }
  }
}

long MainView::MillisecondsToNextChange(std::uint32_t now) const {
  long next = status_->MillisecondsToNextChange(now);
  for (const auto& entry : flashes_) {
    const auto left = static_cast<std::int32_t>(entry.second.until - now);
    if (left > 0) next = SoonerWait(next, left);
  }
  return next;
}

std::string TooSmallText(int columns, int rows) {
  const std::string least = std::to_string(kMinColumns) + " x " + std::to_string(kMinRows);
  const std::string now = std::to_string(columns) + " x " + std::to_string(rows);
  // The longest that fits: a shorter text rather than a cut one on a narrower screen.
  for (const std::string& text : {
           "Please make the terminal at least " + least + " (it is " + now + ")",
           "Make the terminal at least " + least + " (it is " + now + ")",
           "At least " + least + " (now " + now + ")",
           "At least " + least,
           std::to_string(kMinColumns) + "x" + std::to_string(kMinRows),
       }) {
    if (static_cast<int>(text.size()) <= columns) return text;
  }
  return "!";
}

void DrawTooSmall(int columns, int rows) {
  erase();
  PutCentred(rows / 2, 0, columns, WideText(TooSmallText(columns, rows)), A_BOLD);
}
