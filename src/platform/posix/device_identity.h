// Which device stands behind a serial port's path, as far as the system tells: a USB adapter's
// vendor and product, its serial number and the interface of the port, from sysfs, and its
// stable name under /dev/serial/by-id (IdentityOf in serial_device_list.h reads them). When a
// device comes back after an outage, this is how the port knows whether it is the run's device
// or another one that took its path (two adapters on one bench, plugged in again in the other
// order). A pseudo-terminal, a built-in UART or a system without sysfs tells nothing: such a
// port has no identity, and whatever device stands at its path is taken.
#pragma once

#include <string>

struct DeviceIdentity {
  std::string usb_id;         // vendor:product in hex, e.g. 0403:6001, or empty
  std::string usb_serial;     // the adapter's serial number, or empty when it has none
  std::string usb_interface;  // the number of the USB interface that is the port, e.g. 00
  std::string by_id;          // the device's name under serial/by-id, or empty

  bool Known() const { return !usb_id.empty() || !by_id.empty(); }
};

// Whether found may be the device that remembered describes. A device without identity
// remembered takes whatever comes. Otherwise every part remembered must be found again, but for
// the stable name, which the system makes a moment after the device appears.
bool SameDevice(const DeviceIdentity& remembered, const DeviceIdentity& found);

// For the user: "usb-Bench_UART_A1-if00-port0 (0403:6001 serial A1 interface 00)", the parts
// there are; "no identity" when there is none.
std::string DescribeIdentity(const DeviceIdentity& identity);

// Another device than the run's at a port's path, after an outage.
struct OtherDevice {
  int port_number = 0;
  std::string path;
  DeviceIdentity expected;  // the device the run began with
  DeviceIdentity found;     // what stands at the path now
};

// One line, without a program name in front: the port, both devices, and that the run waits for
// its own.
std::string DescribeOtherDevice(const OtherDevice& other);
