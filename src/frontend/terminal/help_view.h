// The help over a view: the keys of the window, the ledger or the chart, what the window's
// lines and boxes hold, and the status line's notice whole. ?, F1 and h open it; any key closes
// it.
#pragma once

#include <string>

#include "frontend/terminal/terminal.h"

enum class HelpTopic { kWindow, kLedger, kChart };

// Whether the operator asks for the help.
bool IsHelpKey(const Input& in);

// Draws the help of a topic over the screen of columns x rows; notice (may be empty) follows it.
void DrawHelp(HelpTopic topic, const std::string& notice, int columns, int rows);
