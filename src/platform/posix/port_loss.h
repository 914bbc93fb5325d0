// Why an open serial port stopped answering, as the Linux serial port tells it so that a front
// end can say more than the monitor's error line does.
#pragma once

#include <string>

struct PortLoss {
  int port_number = 0;
  std::string path;
  int error = 0;           // errno of the call that failed; 0 when the line hung up
  bool node_gone = false;  // the device file no longer exists (the adapter was unplugged)
};
