// The monitor's main window procedure for the in-memory surface: the same handling of each
// message as the Windows program's window procedure, so that the tests and the Linux front ends
// drive the monitor exactly as the window system would.
#pragma once

#include "app/handles.h"
#include "platform/memory/memory_surface.h"

// Creation, close and destroy, resize, menu commands (param is the command) and poll timer
// ticks go to the monitor's procedures; painting draws nothing.
void MonitorWindowProc(WindowHandle hwnd, MemoryMessage message, int param);
