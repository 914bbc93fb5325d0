// The serial devices of a Linux machine as the kernel's device tree (sysfs) describes them, with
// what a user needs to pick the receiver's port: the stable name under /dev/serial/by-id, the
// driver, the USB adapter, and whether the device can be opened now.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/posix/device_identity.h"

// Where the system's trees are: "/sys", "/dev" and "/proc" on a running system; a test points
// them at trees of its own.
struct SystemRoots {
  std::string sys = "/sys";
  std::string dev = "/dev";
  std::string proc = "/proc";
};

struct SerialDevice {
  std::string name;                  // the kernel's name, e.g. ttyUSB0
  std::string path;                  // the device file
  std::string by_id;                 // its stable name under serial/by-id, or empty
  std::string driver;                // e.g. cdc_acm, serial, generic
  std::string usb_id;                // vendor:product in hex, e.g. 0403:6001, or empty
  std::string usb_name;              // manufacturer and product as the adapter reports them
  int open_error = 0;                // 0: this user may open it; else the errno of the attempt
  bool locked = false;               // another program holds the device's lock or exclusive flag
  std::vector<std::string> holders;  // programs that have it open, "NAME (pid N)"
};

// Every serial device that sysfs lists under class/tty with a device behind it, in name order
// (ttyS2 before ttyS10). UARTs that the kernel registered without finding hardware are left out;
// their names go into *absent when it is given. Each device is tried with a non-blocking open and
// the lock that the monitor's port takes, both released at once; nothing on the line is changed.
std::vector<SerialDevice> ListSerialDevices(const SystemRoots& roots,
                                            std::vector<std::string>* absent = nullptr);

// The same questions for one device file outside sysfs (a pseudo-terminal, a path given by the
// user): what its open and lock say, and who holds it.
SerialDevice ProbeSerialDevice(const std::string& path, const SystemRoots& roots);

// The identity of the character device numbered device (a stat's st_rdev): its USB parts from
// the sysfs of roots, its stable name from their /dev. Empty for a device sysfs does not know
// (a pseudo-terminal) or that is no USB adapter.
DeviceIdentity IdentityOf(dev_t device, const SystemRoots& roots);

// The processes (but this one) that have the file at path open, as "NAME (pid N)"; only those
// this user may look at.
std::vector<std::string> HoldersOf(const std::string& path, const std::string& proc_root);

// The names in a directory but . and .., sorted; none when it cannot be read.
std::vector<std::string> DirectoryEntries(const std::string& dir);

// The canonical path of a file (symbolic links resolved), or empty when it does not exist.
std::string RealPath(const std::string& path);
