// Kept apart from the dialog model so that a program using the model alone does not need the
// settings procedures.
#include "app/resource_ids.h"
#include "platform/memory/memory_dialog.h"
#include "settings/settings_dialog.h"

int RunMemorySettingsDialog(const std::function<int(MemoryDialog&)>& operator_actions) {
  MemoryDialog dialog;
  InitSettingsDialog(dialog);
  const int code = operator_actions ? operator_actions(dialog) : IDC_EXIT;
  if (code == IDC_CONFIRM) {
    ApplySettingsDialog(dialog);
    return IDC_CONFIRM;
  }
  return IDC_EXIT;
}
