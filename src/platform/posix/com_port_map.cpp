#include "platform/posix/com_port_map.h"

#include <cstring>

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
  // Digits only: "+1", " 1" or "1x" are more likely typing mistakes than port numbers.
  bool digits = !number.empty() && number.size() <= 3;
  for (char c : number) digits = digits && c >= '0' && c <= '9';
  const int port = digits ? std::stoi(number) : 0;
  if (!digits || port < kFirstPort || port > kLastPort) {
    *error = "--com: the port number in \"" + value + "\" must be a whole number from " +
             std::to_string(kFirstPort) + " to " + std::to_string(kLastPort);
    return false;
  }
  if (path.empty()) {
    *error = "--com: no device path after \"" + number + "=\"";
    return false;
  }
  Set(port, path);
  return true;
}

int TakeComOption(int argc, char* const* argv, int* index, ComPortMap* map, std::string* error) {
  const char* arg = argv[*index];
  static const char kName[] = "--com";
  const std::size_t name_length = sizeof kName - 1;
  if (std::strncmp(arg, kName, name_length) != 0) return kNotComOption;
  if (arg[name_length] == '=') {
    if (!map->ParseOverride(arg + name_length + 1, error)) return kComOptionBad;
    *index += 1;
    return kComOptionTaken;
  }
  if (arg[name_length] != '\0') return kNotComOption;  // some other option, e.g. --compact
  if (*index + 1 >= argc) {
    *error = "--com needs a value N=PATH (for example --com 1=/dev/ttyUSB0)";
    return kComOptionBad;
  }
  if (!map->ParseOverride(argv[*index + 1], error)) return kComOptionBad;
  *index += 2;
  return kComOptionTaken;
}

const char kComOptionHelp[] =
    "  --com N=PATH   use the device PATH as port COMN (repeatable; N from 1 to 255;\n"
    "                 without it COMN is /dev/ttyS<N-1>)\n";
