// One tick of the poll timer: receive, extract, count, show, log, re-arm.
#pragma once

#include "app/handles.h"

void PollCycle(WindowHandle hwnd);
