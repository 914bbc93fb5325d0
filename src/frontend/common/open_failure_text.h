// What a front end tells the user when a serial port did not open: the monitor's own message
// box only says that it failed.
#pragma once

#include <string>
#include <vector>

#include "platform/posix/open_failure.h"

// One line, without a program name in front: the port, the device, the system's reason and,
// where there is one, what to do about it. Empty when nothing failed.
std::string DescribeOpenFailure(const OpenFailure& failure);

// Names as "a, b, c".
std::string Joined(const std::vector<std::string>& names);

// What a user whom the system refuses a serial device does about it.
extern const char kDeviceAccessRemedy[];
