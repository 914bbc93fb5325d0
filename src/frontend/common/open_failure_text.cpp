#include "frontend/common/open_failure_text.h"

#include <cerrno>
#include <cstring>

namespace {

const std::string kListHint =
    "wsmon --list-ports shows this machine's serial devices; --com N=PATH or WSMON_COM<N>=PATH "
    "points a port at one";

// What the user can do about an error of open(); empty when nothing useful can be said.
std::string Remedy(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return "is the receiver plugged in? " + kListHint;
    case EACCES:
    case EPERM:
      return std::string("this user may not use the device: ") + kDeviceAccessRemedy;
    case EIO:
    case ENXIO:
    case ENODEV:
      return "no serial port answers behind this device; " + kListHint;
    default:
      return std::string();
  }
}

}  // namespace

std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

const char kDeviceAccessRemedy[] = "sudo usermod -aG dialout $USER, then log in again";

std::string DescribeOpenFailure(const OpenFailure& f) {
  if (f.kind == OpenFailureKind::kNone) return std::string();
  const std::string port = "COM" + std::to_string(f.port_number);
  if (f.kind == OpenFailureKind::kNoPath) {
    return "cannot open " + port + ": port numbers go from 1 to 255";
  }
  const std::string lead = "cannot open " + port + " (" + f.path + "): ";
  switch (f.kind) {
    case OpenFailureKind::kBusy:
      return lead +
             "the device is busy: " + (f.holders.empty() ? "another program" : Joined(f.holders)) +
             " holds it";
    case OpenFailureKind::kNotATerminal:
      return lead + "this is not a serial device; " + kListHint;
    case OpenFailureKind::kOwnTerminal:
      return lead + "this is the terminal wsmon runs in, not the receiver's serial device";
    default:
      break;
  }
  const std::string remedy = Remedy(f.error);
  return lead + std::strerror(f.error) + (remedy.empty() ? "" : "; " + remedy);
}
