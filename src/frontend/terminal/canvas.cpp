#include "frontend/terminal/canvas.h"

#include "frontend/terminal/cell_text.h"

namespace {

// The directions a border line leaves a cell in.
constexpr unsigned kUp = 1;
constexpr unsigned kDown = 2;
constexpr unsigned kLeft = 4;
constexpr unsigned kRight = 8;

const cchar_t* LineCharacter(unsigned bits) {
  switch (bits) {
    case kDown | kRight:
      return WACS_ULCORNER;
    case kDown | kLeft:
      return WACS_URCORNER;
    case kUp | kRight:
      return WACS_LLCORNER;
    case kUp | kLeft:
      return WACS_LRCORNER;
    case kUp | kDown | kRight:
      return WACS_LTEE;
    case kUp | kDown | kLeft:
      return WACS_RTEE;
    case kLeft | kRight | kDown:
      return WACS_TTEE;
    case kLeft | kRight | kUp:
      return WACS_BTEE;
    case kUp | kDown | kLeft | kRight:
      return WACS_PLUS;
    default:
      return (bits & (kUp | kDown)) != 0 ? WACS_VLINE : WACS_HLINE;
  }
}

}  // namespace

void SetUpColours() {
  if (!has_colors()) return;
  init_pair(kTitleColours, COLOR_WHITE, COLOR_BLUE);
  init_pair(kStatusColours, COLOR_BLACK, COLOR_CYAN);
  init_pair(kNoticeColours, COLOR_BLACK, COLOR_YELLOW);
  init_pair(kTemperatureColours, COLOR_RED, -1);
  init_pair(kHumidityColours, COLOR_CYAN, -1);
}

attr_t PartAttributes(ColourPair pair, attr_t fallback) {
  return has_colors() ? static_cast<attr_t>(COLOR_PAIR(pair)) : fallback;
}

int PutText(int row, int column, const std::wstring& text, int cells, attr_t attributes) {
  if (cells <= 0) return 0;
  const std::wstring shown = ClipToCells(text, cells);
  attrset(attributes);
  mvaddnwstr(row, column, shown.c_str(), static_cast<int>(shown.size()));
  attrset(A_NORMAL);
  return CellWidth(shown);
}

int PutText(int row, int column, const std::string& utf8, int cells, attr_t attributes) {
  return PutText(row, column, WideText(utf8), cells, attributes);
}

void PutCentred(int row, int left, int cells, const std::wstring& text, attr_t attributes) {
  const int width = CellWidth(text);
  const int offset = width < cells ? (cells - width) / 2 : 0;
  PutText(row, left + offset, text, cells - offset, attributes);
}

void FillRow(int row, int column, int cells, attr_t attributes) {
  attrset(attributes);
  for (int i = 0; i < cells; ++i) mvaddch(row, column + i, ' ');
  attrset(A_NORMAL);
}

void ClearInside(const CellRect& rect) {
  for (int row = rect.top + 1; row < rect.bottom; ++row) {
    FillRow(row, rect.left + 1, rect.InnerWidth(), A_NORMAL);
  }
}

Frames::Frames(int columns, int rows)
    : columns_(columns), rows_(rows), bits_(static_cast<std::size_t>(columns * rows), 0) {}

void Frames::Mark(int row, int column, unsigned bits) {
  if (row < 0 || row >= rows_ || column < 0 || column >= columns_) return;
  bits_[static_cast<std::size_t>(row * columns_ + column)] |= static_cast<unsigned char>(bits);
}

void Frames::Add(const CellRect& r) {
  for (int c = r.left; c <= r.right; ++c) {
    const unsigned across = (c > r.left ? kLeft : 0) | (c < r.right ? kRight : 0);
    Mark(r.top, c, across);
    Mark(r.bottom, c, across);
  }
  for (int row = r.top; row <= r.bottom; ++row) {
    const unsigned down = (row > r.top ? kUp : 0) | (row < r.bottom ? kDown : 0);
    Mark(row, r.left, down);
    Mark(row, r.right, down);
  }
}

void Frames::Draw() const {
  for (int row = 0; row < rows_; ++row) {
    for (int c = 0; c < columns_; ++c) {
      const unsigned bits = bits_[static_cast<std::size_t>(row * columns_ + c)];
      if (bits != 0) mvadd_wch(row, c, LineCharacter(bits));
    }
  }
}

void DrawFrame(const CellRect& rect, attr_t attributes) {
  Frames frame(rect.right + 1, rect.bottom + 1);
  frame.Add(rect);
  attrset(attributes);
  frame.Draw();
  attrset(A_NORMAL);
}
