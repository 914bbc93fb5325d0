// The controls of the settings dialog, addressed by their identifiers.
#pragma once

class DialogControls {
 public:
  virtual ~DialogControls() = default;

  // Check state of a button: 1 checked, 0 not. A control that does not exist answers 0 and
  // ignores a change.
  virtual void SetCheck(int control_id, int state) = 0;
  virtual int GetCheck(int control_id) = 0;

  // The text of an edit field as an unsigned decimal number. Reading gives 0 for a text that
  // does not translate: empty, without digits, or beyond 32 bits.
  virtual void SetItemUInt(int control_id, unsigned value) = 0;
  virtual unsigned GetItemUInt(int control_id) = 0;
};
