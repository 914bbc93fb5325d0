#include "platform/posix/raw_line.h"

#include <utility>

void MakeRaw(termios* t) {
  cfmakeraw(t);
  t->c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | ISTRIP | IGNPAR | PARMRK |
                                       IGNBRK | BRKINT | IGNCR | ICRNL | INLCR);
  t->c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
  t->c_cflag |= CS8 | CREAD | CLOCAL;
  t->c_cc[VMIN] = 1;
  t->c_cc[VTIME] = 0;
}

bool SpeedFor(std::uint32_t baud, speed_t* speed) {
  static const std::pair<std::uint32_t, speed_t> kSpeeds[] = {
      {1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},
      {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},
      {230400, B230400}, {460800, B460800}, {921600, B921600},
  };
  for (const auto& entry : kSpeeds) {
    if (entry.first == baud) {
      *speed = entry.second;
      return true;
    }
  }
  return false;
}
