#include "platform/win32/settings_dialog_proc.h"

#include "app/resource_ids.h"
#include "settings/settings_dialog.h"

void Win32DialogControls::SetCheck(int control_id, int state) {
  SendDlgItemMessageW(dialog_, control_id, BM_SETCHECK, state == 1 ? BST_CHECKED : BST_UNCHECKED,
                      0);
}

int Win32DialogControls::GetCheck(int control_id) {
  // A control that does not exist answers 0, as an unchecked one does.
  return SendDlgItemMessageW(dialog_, control_id, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}

void Win32DialogControls::SetItemUInt(int control_id, unsigned value) {
  SetDlgItemInt(dialog_, control_id, value, FALSE);
}

unsigned Win32DialogControls::GetItemUInt(int control_id) {
  // Whether the text translated is not asked: a failed translation gives 0.
  return GetDlgItemInt(dialog_, control_id, nullptr, FALSE);
}

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM /*lparam*/) {
  switch (message) {
    case WM_INITDIALOG: {
      Win32DialogControls controls(dialog);
      InitSettingsDialog(controls);
      return 0;  // no initial focus
    }
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDC_CONFIRM: {
          Win32DialogControls controls(dialog);
          ApplySettingsDialog(controls);
          EndDialog(dialog, IDC_CONFIRM);
          return 1;
        }
        case IDC_EXIT:
          EndDialog(dialog, IDC_EXIT);
          return 0;
        default:
          return 0;
      }
    case WM_CLOSE:
      EndDialog(dialog, IDC_EXIT);
      return 0;
    default:
      return 0;
  }
}
