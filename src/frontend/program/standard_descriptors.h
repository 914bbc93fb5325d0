// The standard descriptors of the Linux program.
#pragma once

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed, so that no file the program
// opens later (a serial port, the simulated receiver's pipe) takes the place of standard input,
// output or error. False when that cannot be done. The first thing main does.
bool OpenClosedStandardDescriptors();
