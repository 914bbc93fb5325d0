// A message box in cells: centred over the screen, its caption in its frame, its text (wrapped
// to the screen), a warning mark for the exclamation kind, and its OK button.
#pragma once

#include <string>
#include <vector>

#include "frontend/terminal/cell_layout.h"
#include "frontend/terminal/terminal.h"
#include "platform/memory/memory_surface.h"

class MessageBoxView {
 public:
  explicit MessageBoxView(const MemorySurface::MessageRecord& message) : message_(message) {}

  void Draw(int columns, int rows);
  // True when the operator answered the box: Enter, Space, Esc or o, or a click on OK.
  bool Answered(const Input& in) const;

 private:
  const MemorySurface::MessageRecord& message_;
  CellRect ok_;  // the OK button, as last drawn
};
