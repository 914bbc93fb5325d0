// The settings dialog's contents: filled from the monitor state, read back on confirmation.
#pragma once

#include "settings/dialog_controls.h"

// The port buttons offer COM1 to COM4.
constexpr int kPortButtonCount = 4;

void InitSettingsDialog(DialogControls& dialog);
void ApplySettingsDialog(DialogControls& dialog);

// Of count buttons with consecutive identifiers from first_id (one group of radio buttons), the
// index of the first that is checked, or -1 when none is.
int CheckedButton(DialogControls& dialog, int first_id, int count);
