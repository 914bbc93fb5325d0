// The six menu commands and the run states they move between.
#pragma once

#include "app/handles.h"

// Carries out the menu command with this identifier (100 to 105); others do nothing.
void MenuCommand(WindowHandle hwnd, int command);

// Ends the run in progress (if any) without its export, as the close, settings and exit commands
// and the closing of the window do: its journal is removed and the outputs drop what they kept
// for its export.
void EndRunWithoutExport();
