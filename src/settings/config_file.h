// The configuration file of the four settings in the start directory.
#pragma once

#include "app/handles.h"

// 0 when the four settings were read; -1 when the file cannot be opened; -2 when it does not
// yield four bytes. On failure nothing changed.
int LoadConfig(WindowHandle hwnd);

// 0 when written; -1 when the file cannot be created; -2 when the write failed (after its own
// message box). On failure the previous file is left as it was.
int SaveConfig(WindowHandle hwnd);
