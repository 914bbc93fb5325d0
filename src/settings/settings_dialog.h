// The settings dialog's contents: filled from the monitor state, read back on confirmation.
#pragma once

#include "settings/dialog_controls.h"

void InitSettingsDialog(DialogControls& dialog);
void ApplySettingsDialog(DialogControls& dialog);
