// Which device file stands for which COM port number on Linux. The monitor speaks of COM1 to
// COM4 (and its configuration file may carry any number up to 255); by default COMn is the n-th
// serial port of the machine, /dev/ttyS<n-1>, and the option --com N=PATH (or the environment
// variable WSMON_COM<N>=PATH) points a port number at any other device, such as a USB adapter or
// the pseudo-terminal of the simulated receiver.
#pragma once

#include <map>
#include <string>

#include "cli/option_table.h"

class ComPortMap {
 public:
  static constexpr int kFirstPort = 1;
  static constexpr int kLastPort = 255;

  // The device path of COM<port_number>: the override given for it, else /dev/ttyS<n-1>. Empty
  // for numbers outside 1..255, which name no port.
  std::string PathFor(int port_number) const;

  // Points COM<port_number> at path from now on.
  void Set(int port_number, const std::string& path);
  // Whether COM<port_number> was pointed somewhere else than its default.
  bool Overridden(int port_number) const { return overrides_.count(port_number) != 0; }
  // The ports pointed elsewhere, by number.
  const std::map<int, std::string>& overrides() const { return overrides_; }

  // The port number that text names ("1" to "255", digits only), or 0.
  static int PortNumber(const std::string& text);

  // Takes the value of one --com option, "N=PATH". Returns true and records the override when
  // the value is well formed; otherwise returns false and puts a message for the user into
  // *error (the map is then unchanged).
  bool ParseOverride(const std::string& value, std::string* error);

 private:
  std::map<int, std::string> overrides_;
};

// The row of the option "--com N=PATH" (also "--com=N=PATH", repeatable: the last one for a
// port counts) for a command line's table; its values go into map.
OptionRow ComOptionRow(ComPortMap* map);

// Takes the variables WSMON_COM<N>=PATH of an environment (entries "NAME=VALUE", the list
// ending with a null) into map for every port that has no override yet, so that a --com option
// read before wins. A variable with a bad port number or an empty path makes it return false with
// a message in *error; names that go on with anything but digits are not its business.
bool TakeComEnvironment(const char* const* environment, ComPortMap* map, std::string* error);
