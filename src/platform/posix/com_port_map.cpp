#include "platform/posix/com_port_map.h"

#include "cli/decimal.h"

namespace {

constexpr char kEnvironmentPrefix[] = "WSMON_COM";

const char kComOptionHelp[] =
    "  --com N=PATH     use the device PATH as port COMN (repeatable; N from 1 to 255). Without\n"
    "                   it the environment variable WSMON_COM<N>=PATH does the same (for a\n"
    "                   shell profile or a service unit); without either COMN is /dev/ttyS<N-1>\n";

// What a port number must be, for the messages about a bad one.
std::string PortNumberRule() {
  return "must be a whole number from " + std::to_string(ComPortMap::kFirstPort) + " to " +
         std::to_string(ComPortMap::kLastPort);
}

}  // namespace

int ComPortMap::PortNumber(const std::string& number) {
  std::int64_t port = 0;
  return ParseWholeNumber(number, kFirstPort, kLastPort, &port) ? static_cast<int>(port) : 0;
}

std::string ComPortMap::PathFor(int port_number) const {
  if (port_number < kFirstPort || port_number > kLastPort) return std::string();
  auto found = overrides_.find(port_number);
  if (found != overrides_.end()) return found->second;
  return "/dev/ttyS" + std::to_string(port_number - 1);
}

void ComPortMap::Set(int port_number, const std::string& path) {
  overrides_[port_number] = path;
}

bool ComPortMap::ParseOverride(const std::string& value, std::string* error) {
  const std::string::size_type equals = value.find('=');
  if (equals == std::string::npos) {
    *error = "--com expects N=PATH (for example --com 1=/dev/ttyUSB0), got \"" + value + "\"";
    return false;
  }
  const std::string number = value.substr(0, equals);
  const std::string path = value.substr(equals + 1);
  const int port = PortNumber(number);
  if (port == 0) {
    *error = "--com: the port number in \"" + value + "\" " + PortNumberRule();
    return false;
  }
  if (path.empty()) {
    *error = "--com: no device path after \"" + number + "=\"";
    return false;
  }
  Set(port, path);
  return true;
}

OptionRow ComOptionRow(ComPortMap* map) {
  return Custom("--com", [map](const std::string& value,
                               std::string* error) { return map->ParseOverride(value, error); })
      .Missing("--com needs a value N=PATH (for example --com 1=/dev/ttyUSB0)")
      .Help(kComOptionHelp);
}

bool TakeComEnvironment(const char* const* environment, ComPortMap* map, std::string* error) {
  const std::size_t prefix_length = sizeof kEnvironmentPrefix - 1;
  for (; environment != nullptr && *environment != nullptr; ++environment) {
    const std::string entry = *environment;
    if (entry.compare(0, prefix_length, kEnvironmentPrefix) != 0) continue;
    const std::string::size_type equals = entry.find('=');
    const std::string number = entry.substr(prefix_length, equals - prefix_length);
    // WSMON_COMPACT and the like are someone else's.
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string name = entry.substr(0, equals);
    const int port = ComPortMap::PortNumber(number);
    if (port == 0) {
      *error = name + ": the port number after " + kEnvironmentPrefix + " " + PortNumberRule();
      return false;
    }
    if (equals == std::string::npos || equals + 1 == entry.size()) {
      *error = name + " is empty: set it to a device path, or unset it";
      return false;
    }
    if (!map->Overridden(port)) map->Set(port, entry.substr(equals + 1));
  }
  return true;
}
