#include "frontend/program/list_ports.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "frontend/common/open_failure_text.h"

namespace {

// The COM numbers whose path leads to the device, as " = COM1, COM5".
std::string PortsOf(const SerialDevice& d, const ComPortMap& ports) {
  const std::string real = RealPath(d.path);
  std::string text;
  for (int n = ComPortMap::kFirstPort; n <= ComPortMap::kLastPort; ++n) {
    const std::string path = ports.PathFor(n);
    if (path != d.path && (real.empty() || RealPath(path) != real)) continue;
    text += (text.empty() ? " = COM" : ", COM") + std::to_string(n);
  }
  return text;
}

// A device file that is not there (a path given with --com or WSMON_COM<N>).
bool Missing(const SerialDevice& d) {
  return d.open_error == ENOENT || d.open_error == ENOTDIR;
}

std::string OpenText(const SerialDevice& d) {
  if (Missing(d)) return "no, there is no such device";
  switch (d.open_error) {
    case 0:
      return "yes";
    case EACCES:
    case EPERM:
      return std::string("no, this user may not: ") + kDeviceAccessRemedy;
    case EBUSY:
      return "no, it is busy";
    case ENOTTY:
      return "no, it is not a serial device";
    default:
      return std::string("no: ") + std::strerror(d.open_error);
  }
}

// In use means that the monitor's own open would be refused: another program holds the
// device's lock or its exclusive flag. A program that merely has it open (the far side of a
// pseudo-terminal pair, a terminal program without a lock) is named, but the device is free.
// Empty (no line) for a device that does not exist: nothing holds what is not there.
std::string InUseText(const SerialDevice& d) {
  if (d.locked) return "yes, by " + (d.holders.empty() ? "another program" : Joined(d.holders));
  if (Missing(d)) return "";
  return d.holders.empty() ? "no" : "no (open without a lock in " + Joined(d.holders) + ")";
}

void Print(std::FILE* out, const SerialDevice& d, const ComPortMap& ports) {
  std::fprintf(out, "%s%s\n", d.path.c_str(), PortsOf(d, ports).c_str());
  const auto field = [out](const char* name, const std::string& value) {
    if (!value.empty()) std::fprintf(out, "  %-8s %s\n", name, value.c_str());
  };
  field("by-id:", d.by_id);
  field("driver:", d.driver);
  field("usb:", d.usb_id + (d.usb_name.empty() ? "" : " " + d.usb_name));
  field("open:", OpenText(d));
  field("in use:", InUseText(d));
}

}  // namespace

int ListPorts(const ComPortMap& ports, const SystemRoots& roots, std::FILE* out) {
  std::vector<std::string> absent;
  std::vector<SerialDevice> devices = ListSerialDevices(roots, &absent);
  for (const auto& [number, path] : ports.overrides()) {
    const std::string real = RealPath(path);
    bool listed = false;
    for (const SerialDevice& d : devices)
      listed = listed || (!real.empty() && RealPath(d.path) == real);
    if (!listed) devices.push_back(ProbeSerialDevice(path, roots));
  }
  if (devices.empty()) std::fprintf(out, "No serial devices found.\n");
  for (const SerialDevice& d : devices) Print(out, d, ports);
  if (!absent.empty()) {
    std::string names;
    for (const std::string& a : absent) names += " " + a;
    std::fprintf(out, "Registered, but without a UART behind them:%s\n", names.c_str());
  }
  std::fprintf(out,
               "COMN is /dev/ttyS<N-1> unless --com N=PATH or WSMON_COM<N>=PATH says otherwise;\n"
               "a by-id name stays the same wherever the adapter is plugged in.\n");
  return 0;
}
