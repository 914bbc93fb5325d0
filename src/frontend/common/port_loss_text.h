// What the front ends tell the user of a port that stopped answering during a run and came
// back.
#pragma once

#include <cstdint>
#include <string>

#include "platform/posix/port_loss.h"

// One line, without a program name in front: the port, the device, why it stopped answering,
// and that the run goes on waiting for it.
std::string DescribePortLoss(const PortLoss& loss);

// An outage's length in seconds with one decimal ("0.2", "12.3", "3600.0"), rounded from the
// milliseconds, a value exactly halfway going up.
std::string OutageSeconds(std::uint32_t milliseconds);
