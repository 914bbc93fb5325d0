// A message box in cells: centred over the screen, its caption in its frame, its paragraphs of
// text (each wrapped to the screen), a warning mark for the exclamation kind, and its buttons in
// a row at the bottom. The monitor's own boxes have an OK button alone; a question has several.
#pragma once

#include <string>
#include <vector>

#include "frontend/terminal/cell_layout.h"
#include "frontend/terminal/terminal.h"

// A button of a box: its label and the letter that presses it (lower case, 0 for none).
struct BoxButton {
  std::string label;
  int letter = 0;
};

class MessageBoxView {
 public:
  // escape: the button that Esc presses. The focus starts on the first button.
  MessageBoxView(std::string caption, std::vector<std::string> paragraphs, bool warning,
                 std::vector<BoxButton> buttons, int escape);

  void Draw(int columns, int rows);
  // The button that the operator pressed, or -1: Enter or Space press the focused one, a letter
  // or a click its button, Esc the escape button; Tab, Left and Right move the focus.
  int Answer(const Input& in);

 private:
  // The button drawn at this cell, or -1.
  int ButtonAt(int row, int column) const;
  // The button whose letter this is, or -1.
  int ButtonOfLetter(int key) const;

  std::string caption_;
  std::vector<std::string> paragraphs_;
  bool warning_;
  std::vector<BoxButton> buttons_;
  int escape_;
  int focus_ = 0;
  std::vector<CellRect> drawn_;  // the buttons, as last drawn
};

// A box of the monitor (caption, text, warning or not) with its OK button, which Enter, Space,
// Esc, o and a click press. detail, when given, follows the text as a paragraph of its own.
MessageBoxView MonitorMessageBox(const std::string& caption, const std::string& text, bool warning,
                                 const std::string& detail = std::string());
