// The platform services that the monitor reaches through its own interfaces. A program (the
// Windows program, a Linux front end, a test) fills this record before it runs any procedure.
#pragma once

#include "app/clock.h"
#include "app/dispatch_observer.h"
#include "app/report.h"
#include "display/window_surface.h"
#include "reception/reading_sink.h"
#include "serial/serial_port.h"
#include "settings/file_store.h"

struct Platform {
  SerialPort* port = nullptr;
  Clock* clock = nullptr;
  WindowSurface* window = nullptr;
  FileStore* files = nullptr;
  ReadingSink* readings = nullptr;       // optional: a front end that keeps the values
  DispatchObserver* dispatch = nullptr;  // optional: a recording of the port's answers
  StallSource* stalls = nullptr;         // optional: a replay's recorded stalls, in place of
                                         // the clock's lateness
  Reporter* report = nullptr;            // optional: where problems with files are told
};

extern Platform g_platform;
