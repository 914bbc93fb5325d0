#include "frontend/terminal/menu_bar.h"

#include <curses.h>

#include <cstring>
#include <cwctype>
#include <string>

#include "app/resource_ids.h"
#include "app/texts.h"
#include "frontend/terminal/canvas.h"
#include "frontend/terminal/cell_text.h"

namespace {

struct Item {
  int command;
  const char* text;  // "&" marks the mnemonic letter
};

constexpr Item kMenuItems[MenuBar::kItems] = {
    {CMD_OPEN, text::kMenuOpen},         {CMD_CLOSE, text::kMenuClose},
    {CMD_SETTINGS, text::kMenuSettings}, {CMD_START, text::kMenuStart},
    {CMD_STOP, text::kMenuStop},         {CMD_EXIT, text::kMenuExit},
};

// The first column of the bar, and the blank between two items.
constexpr int kFirstColumn = 1;
constexpr int kGap = 1;

// An item's text without the mark, and the index of its mnemonic letter in it.
std::wstring Shown(const Item& item, std::size_t* mnemonic) {
  const std::wstring marked = WideText(item.text);
  const std::size_t amp = marked.find(L'&');
  *mnemonic = amp;
  std::wstring shown = marked;
  if (amp != std::wstring::npos) shown.erase(amp, 1);
  return shown;
}

int Mnemonic(const Item& item) {
  std::size_t at = 0;
  const std::wstring shown = Shown(item, &at);
  return at < shown.size() ? static_cast<int>(std::towlower(static_cast<wint_t>(shown[at]))) : 0;
}

// The columns an item takes on the bar.
int ItemLeft(int index) {
  int column = kFirstColumn;
  for (int i = 0; i < index; ++i) {
    std::size_t at = 0;
    column += CellWidth(Shown(kMenuItems[i], &at)) + kGap;
  }
  return column;
}

}  // namespace

MenuAction MenuBar::OnLetter(int letter) {
  const int wanted = static_cast<int>(std::towlower(static_cast<wint_t>(letter)));
  int sharing = 0;
  int first = -1;
  int after_marked = -1;
  for (int i = 0; i < kItems; ++i) {
    if (Mnemonic(kMenuItems[i]) != wanted) continue;
    ++sharing;
    if (first < 0) first = i;
    if (after_marked < 0 && i > marked_ && marked_ >= 0 &&
        Mnemonic(kMenuItems[marked_]) == wanted) {
      after_marked = i;
    }
  }
  if (sharing == 0) return {};
  if (sharing == 1) {
    marked_ = -1;
    return {true, kMenuItems[first].command};
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
    const int command = kMenuItems[marked_].command;
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
  for (int i = 0; i < kItems; ++i) {
    std::size_t at = 0;
    const int left = ItemLeft(i);
    if (column >= left && column < left + CellWidth(Shown(kMenuItems[i], &at))) {
      return {true, kMenuItems[i].command};
    }
  }
  return {};
}

void MenuBar::Draw(int row, int columns, const std::function<bool(int)>& enabled) const {
  FillRow(row, 0, columns, A_NORMAL);
  for (int i = 0; i < kItems; ++i) {
    std::size_t mnemonic = 0;
    const std::wstring shown = Shown(kMenuItems[i], &mnemonic);
    attr_t attributes = enabled(kMenuItems[i].command) ? A_NORMAL : A_DIM;
    if (i == marked_) attributes |= A_REVERSE;
    const int left = ItemLeft(i);
    const int room = columns - left;
    PutText(row, left, shown, room, attributes);
    if (mnemonic < shown.size()) {
      const int offset = CellWidth(shown.substr(0, mnemonic));
      PutText(row, left + offset, shown.substr(mnemonic, 1), room - offset,
              attributes | A_UNDERLINE);
    }
  }
}
