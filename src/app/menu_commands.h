// The six menu commands and the run states they move between.
#pragma once

#include "app/handles.h"

// Carries out the menu command with this identifier (100 to 105); others do nothing.
void MenuCommand(WindowHandle hwnd, int command);
