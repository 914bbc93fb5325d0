// The terminal monitor as a whole: signals, the locale, the simulated receiver when asked for,
// the monitor on the Linux platform, and the session on the terminal.
#pragma once

#include "frontend/program/options.h"

// Runs the terminal monitor until it ends; returns the program's exit status.
int RunTerminal(Options& options);
