// The menu bar: the six commands with their mnemonic letters, and the operator's ways of choosing
// one, as on the window's menu bar:
//   a letter (alone or with Alt) runs the item it marks; where several items share the letter
//   (e: close and setting), each press marks the next of them and Enter runs the marked one;
//   F10 marks the bar, Left and Right move the mark, Enter runs it, Esc leaves the bar;
//   a click runs the item under the mouse.
// Whether an item can run now (greyed items cannot) is the caller's to check.
#pragma once

#include <functional>
#include <string>

// What a key did to the menu bar.
struct MenuAction {
  bool handled = false;  // the key belonged to the menu bar
  int command = 0;       // the command to run, or 0
};

class MenuBar {
 public:
  static constexpr int kItems = 6;

  MenuBar();

  // A letter, typed alone or with Alt.
  MenuAction OnLetter(int letter);
  // Any other key: F10, the arrows, Enter and Esc while the bar is marked.
  MenuAction OnKey(int key, bool function_key);
  // A click at column of the bar's row.
  MenuAction OnClick(int column) const;
  bool marked() const { return marked_ >= 0; }

  // Draws the bar on row: greyed items dim, the mnemonic letters underlined, the marked item in
  // reverse. enabled tells whether a command's item can be chosen now.
  void Draw(int row, int columns, const std::function<bool(int)>& enabled) const;

 private:
  // An item as the bar shows it, laid out once.
  struct Item {
    int command = 0;
    std::wstring shown;        // its text without the mark
    std::size_t mnemonic = 0;  // the index of its mnemonic letter in shown
    int letter = 0;            // that letter in lower case (0: none)
    int left = 0;              // its first column on the bar
    int width = 0;             // the cells it takes
  };
  Item items_[kItems];
  int marked_ = -1;
};
