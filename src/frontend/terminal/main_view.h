// The main window in cells: the title line, the menu bar, the boxes of the in-memory window
// (each with its frame, its caption and as many of its lines as it shows, from its top index,
// clipped to its width), and the status line. A flashed box shows its caption highlighted for a
// moment; so does the error log when the monitor beeps for a new error line, for a terminal
// whose bell is silent.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "frontend/terminal/cell_layout.h"
#include "frontend/terminal/menu_bar.h"
#include "frontend/terminal/status_line.h"
#include "platform/memory/memory_surface.h"

class MainView {
 public:
  MainView(MemorySurface* surface, CellGeometry* geometry, MenuBar* menu, StatusLine* status,
           std::function<bool(int)> enabled)
      : surface_(surface),
        geometry_(geometry),
        menu_(menu),
        status_(status),
        enabled_(std::move(enabled)) {}

  // Draws the whole screen of columns x rows cells at tick now (the caller refreshes).
  void Draw(int columns, int rows, std::uint32_t now);
  // Highlights the caption of a box for a moment from tick now.
  void Highlight(WindowHandle box, std::uint32_t now) { flashes_[box].until = now + kFlashMs; }
  // Milliseconds until the view changes by itself (a flash ends, the status line's clock), or -1.
  long MillisecondsToNextChange(std::uint32_t now) const;

 private:
  static constexpr std::uint32_t kFlashMs = 400;
  struct Flash {
    int seen = 0;             // the box's flash count when last drawn
    std::uint32_t until = 0;  // the caption is highlighted before this tick
  };
  void DrawBox(const MemoryWindow& box, const CellRect& cell, std::uint32_t now);

  MemorySurface* surface_;
  CellGeometry* geometry_;
  MenuBar* menu_;
  StatusLine* status_;
  std::function<bool(int)> enabled_;
  std::map<WindowHandle, Flash> flashes_;
};

// The one line in the middle of a screen too small for the window, and its text: the longest of
// a few that fits into columns (one character at the least).
void DrawTooSmall(int columns, int rows);
std::string TooSmallText(int columns, int rows);
