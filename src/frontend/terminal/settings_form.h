// The settings dialog as a form in cells, with the controls of the window's dialog at their
// places (a dialog unit is a quarter of a column across and an eighth of a row down): the port
// buttons COM1 to COM4 and the baud buttons in their groups, the save check box, the sensor count
// field with its range, and the confirm and exit buttons.
//
// Keys: Tab and Shift-Tab move between the groups, the check box, the field and the buttons;
// the arrows move the choice within a group; Space toggles the check box or presses the focused
// button; Enter presses the focused button, elsewhere the default (confirm); Esc does nothing,
// as in the window's dialog. The field selects its text when it gets the focus, so typing
// replaces it. A click works each control, and the close box [x] leaves like the exit button.
#pragma once

#include <string>

#include "frontend/terminal/terminal.h"
#include "platform/memory/memory_dialog.h"

class SettingsForm {
 public:
  enum class Outcome { kOpen, kConfirm, kExit };

  explicit SettingsForm(MemoryDialog* dialog);

  void Draw(int columns, int rows);
  Outcome Handle(const Input& in);

 private:
  enum Focus { kPorts, kBauds, kSave, kCount, kConfirmButton, kExitButton, kFocusCount };

  // The sensor count's field: the end of a text longer than itself, and where the cursor is.
  void DrawCountField(int x0, int y0) const;
  void MoveFocus(int to);
  void MoveInGroup(int step);
  // Space on the focused radio button or check box.
  void Press();
  void Edit(const Input& in);
  void MoveCursor(int key);
  Outcome Click(int row, int column);

  MemoryDialog* dialog_;
  int focus_ = kPorts;
  int port_ = 0;  // the port button the arrows start from
  int baud_ = 0;
  std::string field_;
  std::size_t cursor_ = 0;
  bool field_selected_ = false;
  int left_ = 0;  // the dialog's frame as last drawn
  int top_ = 0;
};
