#include "frontend/common/port_loss_text.h"

#include <cstring>

std::string DescribePortLoss(const PortLoss& loss) {
  std::string text =
      "COM" + std::to_string(loss.port_number) + " (" + loss.path +
      ") stopped answering: " + (loss.error == 0 ? "the line hung up" : std::strerror(loss.error));
  if (loss.node_gone) text += "; the device file is gone (unplugged?)";
  return text + "; the run goes on, and the port is opened again at every poll";
}

std::string OutageSeconds(std::uint32_t milliseconds) {
  const std::uint64_t tenths = (static_cast<std::uint64_t>(milliseconds) + 50) / 100;
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}
