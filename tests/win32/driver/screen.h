// What the operator sees: a capture of the whole screen, saved as a picture, and the menu bar
// read from it (which items are drawn enabled and which greyed).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct Screenshot {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;  // 0x00RRGGBB, rows top to bottom

  std::uint32_t At(int x, int y) const {
    return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                  static_cast<std::size_t>(x)];
  }
};

bool CaptureScreen(Screenshot* out);
// Whether anything is drawn darker than text is, inside a rectangle of the screen.
bool HasText(const Screenshot& shot, const RECT& area);
// Writes a 24-bit BMP file.
bool SaveBmp(const Screenshot& shot, const std::wstring& path);

// One item of the menu bar as drawn: its horizontal extent and whether its text is drawn in
// the normal (dark) colour or greyed.
struct MenuItemLook {
  int left;
  int right;
  int darkest;  // lowest brightness (0..255) of its text
  bool enabled;
};

// The items of a window's menu bar, left to right: runs of text on the bar's background, split
// into item_count items at the widest gaps. Another count of items when the bar cannot be read
// that way.
std::vector<MenuItemLook> ReadMenuBar(const Screenshot& shot, HWND window, int item_count);
