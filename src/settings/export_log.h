// Writing a run's panel lines and error log lines to a text file named after the time.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/handles.h"

// 0 when all lines were written (or the file could not be created, after a message); -1 when a
// panel line could not be written; -2 when an error log line could not be written.
int ExportLog(WindowHandle hwnd);

// The bytes that the export writes for one list box line of len bytes (UTF-8): the line in code
// page 936 followed by CR LF, cut to fit into cap bytes (cap at least 2). Returns their number.
std::size_t EncodeExportLine(const char* line, std::size_t len, std::uint8_t* out, std::size_t cap);
