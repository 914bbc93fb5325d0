// The settings dialog of the Windows program: dialog template 110 over the core's filling and
// reading back of the four settings.
#pragma once

#include "platform/win32/windows_api.h"

#include "settings/dialog_controls.h"

// The controls of a live dialog window, addressed by identifier.
class Win32DialogControls : public DialogControls {
 public:
  explicit Win32DialogControls(HWND dialog) : dialog_(dialog) {}

  void SetCheck(int control_id, int state) override;
  int GetCheck(int control_id) override;
  void SetItemUInt(int control_id, unsigned value) override;
  unsigned GetItemUInt(int control_id) override;

 private:
  HWND dialog_;
};

// Confirm (300) stores the settings and ends the dialog with 300; the exit button (301) and the
// close box end it with 301 and change nothing. Esc is not handled: the dialog stays open.
INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
