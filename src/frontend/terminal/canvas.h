// Drawing on the curses screen: texts clipped to a width in cells, filled rows, and box frames
// whose shared border lines join into tees and crossings.
#pragma once

#include <curses.h>

#include <functional>
#include <string>
#include <vector>

#include "frontend/terminal/cell_layout.h"

// How box lines are drawn: with the Unicode box-drawing characters, or with ASCII + - | where
// those cannot be trusted to take one cell each.
enum class LineStyle { kUnicode, kAscii };
// The style for a locale's character set and its cell widths: Unicode only in UTF-8, and only
// where every box-drawing character takes one cell.
LineStyle ChooseLineStyle(const char* codeset, const std::function<int(wchar_t)>& width);
// The style of every line drawn from now on (ASCII until told).
void UseLineStyle(LineStyle style);
// The directions a line leaves a cell in, and the character that draws them in the style in use.
constexpr unsigned kLineUp = 1;
constexpr unsigned kLineDown = 2;
constexpr unsigned kLineLeft = 4;
constexpr unsigned kLineRight = 8;
wchar_t LineCharacter(unsigned bits);
void PutLineCharacter(int row, int column, unsigned bits);

// Colour pairs of the screen's parts (used only where the terminal has colours).
enum ColourPair : short {
  kTitleColours = 1,
  kStatusColours,
  kNoticeColours,
  kTemperatureColours,
  kHumidityColours,
};
void SetUpColours();
// The attributes of a part: its colour pair where there are colours, else fallback.
attr_t PartAttributes(ColourPair pair, attr_t fallback);

// Writes text at row, column, cut to at most cells cells (never half a wide character).
// Returns the cells written.
int PutText(int row, int column, const std::wstring& text, int cells, attr_t attributes = A_NORMAL);
int PutText(int row, int column, const std::string& utf8, int cells, attr_t attributes = A_NORMAL);
// Writes text centred in the columns [left, left + cells).
void PutCentred(int row, int left, int cells, const std::wstring& text,
                attr_t attributes = A_NORMAL);
// Fills cells cells of a row with blanks in these attributes.
void FillRow(int row, int column, int cells, attr_t attributes);
// Blanks the inside of a rectangle (the border lines excluded).
void ClearInside(const CellRect& rect);

// Frames drawn together: where two frames share a line, the line joins them.
class Frames {
 public:
  Frames(int columns, int rows);
  void Add(const CellRect& rect);
  void Draw() const;

 private:
  void Mark(int row, int column, unsigned bits);
  int columns_;
  int rows_;
  std::vector<unsigned char> bits_;
};

// Draws one frame on its own, over whatever is below it.
void DrawFrame(const CellRect& rect, attr_t attributes = A_NORMAL);
// Draws an empty box of inner x height cells (its frame included in the height) centred on the
// screen, its caption in its top border, and returns where it stands.
CellRect DrawCentredBox(const std::wstring& caption, int inner, int height, int columns, int rows);
