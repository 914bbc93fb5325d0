// An in-memory settings dialog: the controls of the dialog with their check states and the
// edit field's text, and the operator's actions on them.
#pragma once

#include <functional>
#include <map>
#include <string>

#include "settings/dialog_controls.h"

class MemoryDialog : public DialogControls {
 public:
  MemoryDialog();

  // --- The operator -----------------------------------------------------------------------
  // Clicks a button: an auto radio button becomes checked and clears the other buttons of its
  // group; the check box toggles. False when no such button exists.
  bool Click(int control_id);
  // Replaces the text of an edit field. False when no such field exists.
  bool Type(int control_id, const std::string& text);
  const std::string& Text(int control_id) const;
  bool Exists(int control_id) const { return controls_.count(control_id) != 0; }

  // --- DialogControls -------------------------------------------------------------------------
  void SetCheck(int control_id, int state) override;
  int GetCheck(int control_id) override;
  void SetItemUInt(int control_id, unsigned value) override;
  unsigned GetItemUInt(int control_id) override;

 private:
  enum class Kind { kRadio, kCheckBox, kEdit };
  struct Control {
    Kind kind;
    int group;
    int check = 0;
    std::string text;
  };
  // The control with this identifier when it is an edit field (edit_field) or a button (not).
  Control* Find(int control_id, bool edit_field);

  std::map<int, Control> controls_;
};

// Runs the settings dialog over a MemoryDialog: fills it from the monitor state, lets the
// operator act (operator_actions returns the button that ended the dialog: 300 to confirm,
// 301 to leave), and on confirmation reads it back into the monitor state. Returns that code.
int RunMemorySettingsDialog(const std::function<int(MemoryDialog&)>& operator_actions);
