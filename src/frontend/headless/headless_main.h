// The headless monitor as a whole: signals, the simulated receiver when asked for, the monitor
// on the Linux platform, and the session reading commands from standard input.
#pragma once

#include "frontend/program/options.h"

// Runs the headless monitor until it ends; returns the program's exit status.
int RunHeadless(Options& options);
