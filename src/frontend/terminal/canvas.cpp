#include "frontend/terminal/canvas.h"

#include <algorithm>
#include <cstring>

#include "frontend/terminal/cell_text.h"

namespace {

// The characters of each kind of line crossing, in both styles.
struct LineCharacters {
  unsigned bits;
  wchar_t unicode;
  wchar_t ascii;
};
constexpr LineCharacters kLineCharacters[] = {
    {kLineDown | kLineRight, L'\u250C', L'+'},
    {kLineDown | kLineLeft, L'\u2510', L'+'},
    {kLineUp | kLineRight, L'\u2514', L'+'},
    {kLineUp | kLineLeft, L'\u2518', L'+'},
    {kLineUp | kLineDown | kLineRight, L'\u251C', L'+'},
    {kLineUp | kLineDown | kLineLeft, L'\u2524', L'+'},
    {kLineLeft | kLineRight | kLineDown, L'\u252C', L'+'},
    {kLineLeft | kLineRight | kLineUp, L'\u2534', L'+'},
    {kLineUp | kLineDown | kLineLeft | kLineRight, L'\u253C', L'+'},
    {kLineUp | kLineDown, L'\u2502', L'|'},
    {kLineLeft | kLineRight, L'\u2500', L'-'},
};

LineStyle g_line_style = LineStyle::kAscii;

}  // namespace

LineStyle ChooseLineStyle(const char* codeset, const std::function<int(wchar_t)>& width) {
  // Through a converter (a GB18030 terminal) the box characters come out as letters or as two
  // cells; where the locale counts them as wide, so does a terminal that agrees with it.
  if (std::strcmp(codeset, "UTF-8") != 0) return LineStyle::kAscii;
  for (const LineCharacters& c : kLineCharacters) {
    if (width(c.unicode) != 1) return LineStyle::kAscii;
  }
  return LineStyle::kUnicode;
}

void UseLineStyle(LineStyle style) {
  g_line_style = style;
}

wchar_t LineCharacter(unsigned bits) {
  // A line end (one direction alone) is drawn as the line it ends.
  if (bits == kLineUp || bits == kLineDown) bits = kLineUp | kLineDown;
  if (bits == kLineLeft || bits == kLineRight) bits = kLineLeft | kLineRight;
  for (const LineCharacters& c : kLineCharacters) {
    if (c.bits == bits) return g_line_style == LineStyle::kUnicode ? c.unicode : c.ascii;
  }
  return L' ';
}

void PutLineCharacter(int row, int column, unsigned bits) {
  const wchar_t text[2] = {LineCharacter(bits), L'\0'};
  cchar_t cell;
  setcchar(&cell, text, A_NORMAL, 0, nullptr);
  mvadd_wch(row, column, &cell);
}

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
    const unsigned across = (c > r.left ? kLineLeft : 0) | (c < r.right ? kLineRight : 0);
    Mark(r.top, c, across);
    Mark(r.bottom, c, across);
  }
  for (int row = r.top; row <= r.bottom; ++row) {
    const unsigned down = (row > r.top ? kLineUp : 0) | (row < r.bottom ? kLineDown : 0);
    Mark(row, r.left, down);
    Mark(row, r.right, down);
  }
}

void Frames::Draw() const {
  for (int row = 0; row < rows_; ++row) {
    for (int c = 0; c < columns_; ++c) {
      const unsigned bits = bits_[static_cast<std::size_t>(row * columns_ + c)];
      if (bits != 0) PutLineCharacter(row, c, bits);
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

CellRect DrawCentredBox(const std::wstring& caption, int inner, int height, int columns, int rows) {
  CellRect box;
  box.left = std::max((columns - inner - 2) / 2, 0);
  box.top = std::max((rows - height) / 2, 0);
  box.right = box.left + inner + 1;
  box.bottom = box.top + height - 1;
  ClearInside(box);
  DrawFrame(box, A_BOLD);
  PutText(box.top, box.left + 2, caption, inner - 2, A_BOLD);
  return box;
}
