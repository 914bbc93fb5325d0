#include "frontend/terminal/menu_bar.h"

#include <curses.h>

#include <cwctype>
#include <string>

#include "app/resource_ids.h"
#include "app/texts.h"
#include "frontend/terminal/canvas.h"
#include "frontend/terminal/cell_text.h"

namespace {

struct ItemText {
  int command;
  const char* text;  // "&" marks the mnemonic letter
};

constexpr ItemText kMenuItems[MenuBar::kItems] = {
    {CMD_OPEN, text::kMenuOpen},         {CMD_CLOSE, text::kMenuClose},
    {CMD_SETTINGS, text::kMenuSettings}, {CMD_START, text::kMenuStart},
    {CMD_STOP, text::kMenuStop},         {CMD_EXIT, text::kMenuExit},
};

// The first column of the bar, and the blank between two items.
constexpr int kFirstColumn = 1;
constexpr int kGap = 1;

int Lower(int letter) {
  return static_cast<int>(std::towlower(static_cast<wint_t>(letter)));
}

}  // namespace

MenuBar::MenuBar() {
  int column = kFirstColumn;
  for (int i = 0; i < kItems; ++i) {
    Item& item = items_[i];
    item.command = kMenuItems[i].command;
    item.shown = WideText(kMenuItems[i].text);
    item.mnemonic = item.shown.find(L'&');
    if (item.mnemonic != std::wstring::npos) item.shown.erase(item.mnemonic, 1);
    if (item.mnemonic < item.shown.size()) item.letter = Lower(item.shown[item.mnemonic]);
    item.left = column;
    item.width = CellWidth(item.shown);
    column += item.width + kGap;
  }
}

MenuAction MenuBar::OnLetter(int letter) {
  const int wanted = Lower(letter);
  const bool marked_shares = marked_ >= 0 && items_[marked_].letter == wanted;
  int sharing = 0;
  int first = -1;
  int after_marked = -1;
  for (int i = 0; i < kItems; ++i) {
    if (items_[i].letter != wanted) continue;
    ++sharing;
    if (first < 0) first = i;
    if (after_marked < 0 && marked_shares && i > marked_) after_marked = i;
  }
  if (sharing == 0) return {};
  if (sharing == 1) {
    marked_ = -1;
    return {true, items_[first].command};
  }
  marked_ = after_marked >= 0 ? after_marked : first;
  return {true, 0};
}

MenuAction MenuBar::OnKey(int key, bool function_key) {
  if (function_key && key == KEY_F(10)) {
    marked_ = marked_ < 0 ? 0 : -1;
    return {true, 0};
  }
  if (marked_ < 0) return {};
  if (function_key && (key == KEY_LEFT || key == KEY_RIGHT)) {
    marked_ = (marked_ + (key == KEY_LEFT ? kItems - 1 : 1)) % kItems;
    return {true, 0};
  }
  if ((function_key && key == KEY_ENTER) || (!function_key && (key == '\r' || key == '\n'))) {
    const int command = items_[marked_].command;
    marked_ = -1;
    return {true, command};
  }
  if (!function_key && key == 27) {
    marked_ = -1;
    return {true, 0};
  }
  return {};
}

MenuAction MenuBar::OnClick(int column) const {
  for (const Item& item : items_) {
    if (column >= item.left && column < item.left + item.width) return {true, item.command};
  }
  return {};
}

void MenuBar::Draw(int row, int columns, const std::function<bool(int)>& enabled) const {
  FillRow(row, 0, columns, A_NORMAL);
  for (int i = 0; i < kItems; ++i) {
    const Item& item = items_[i];
    attr_t attributes = enabled(item.command) ? A_NORMAL : A_DIM;
    if (i == marked_) attributes |= A_REVERSE;
    const int room = columns - item.left;
    PutText(row, item.left, item.shown, room, attributes);
    if (item.letter != 0) {
      const int offset = CellWidth(item.shown.substr(0, item.mnemonic));
      PutText(row, item.left + offset, item.shown.substr(item.mnemonic, 1), room - offset,
              attributes | A_UNDERLINE);
    }
  }
}
