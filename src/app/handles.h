// Opaque handles that the monitor keeps for things the platform owns: windows (the sensor
// panels, the counter boxes, the error log, the main window) and the serial port.
#pragma once

#include <cstdint>

// A window of the platform's window surface. 0 names no window.
using WindowHandle = std::uintptr_t;
constexpr WindowHandle kNoWindow = 0;

// An open serial port. kInvalidPort (all bits set) marks a failed open and "no port".
using PortHandle = std::intptr_t;
constexpr PortHandle kInvalidPort = -1;
