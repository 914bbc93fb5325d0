// The two ways the monitor updates a list box after it built a line.
#pragma once

#include "app/handles.h"

// A one-line box: its only line is replaced. Returns the new line's index (or kListError).
int ReplaceLine(WindowHandle box, const char* line);

// A growing box, after a line was added: once the box holds as many lines as it shows, the top
// index is set to the line count minus the visible lines plus 2, which the list box limits to
// its scroll range, so the newest line stays in view.
void ScrollToNewest(WindowHandle box, int visible_lines);
