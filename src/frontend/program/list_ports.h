// wsmon --list-ports: the serial devices of this machine, and which COM port leads to each.
#pragma once

#include <cstdio>

#include "platform/posix/com_port_map.h"
#include "platform/posix/serial_device_list.h"

// Prints the devices that sysfs lists, then any device that a port is pointed at (--com,
// WSMON_COM<N>) which sysfs does not list, such as a pseudo-terminal. Returns the exit status.
int ListPorts(const ComPortMap& ports, const SystemRoots& roots, std::FILE* out);
