// Writing a run's panel lines and error log lines to a text file named after the time.
#pragma once

#include "app/handles.h"

// 0 when all lines were written (or the file could not be created, after a message); -1 when a
// panel line could not be written; -2 when an error log line could not be written.
int ExportLog(WindowHandle hwnd);
