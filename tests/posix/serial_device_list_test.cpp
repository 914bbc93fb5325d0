// The serial device list on a made-up sysfs and /dev whose device files are real
// pseudo-terminals, so that the open and lock checks meet real devices.
#include "platform/posix/serial_device_list.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

#include "support.h"

namespace {

TEST(SerialDeviceListTest, SysfsTellsDriverUsbAdapterAndStableNameAndOpeningTellsTheRest) {
  ScratchDirectory dir;
  PseudoTerminal usb, acm;
  const std::string ftdi = "sys/devices/pci0/usb1/1-2", uno = "sys/devices/pci0/usb1/1-3";
  const std::string pnp = "sys/devices/pnp0/00:01", to_root = "../../../../";
  // Files ("=text") and symbolic links ("@target"), as the kernel and udev lay them out; the
  // newer kernels' UART sits behind a serial-base port device.
  const std::pair<std::string, std::string> tree[] = {
      {ftdi + "/idVendor", "=0403"},
      {ftdi + "/idProduct", "=6001"},
      {ftdi + "/manufacturer", "=FTDI"},
      {ftdi + "/product", "=FT232R USB UART"},
      {ftdi + "/1-2:1.0/ttyUSB0/driver", "@../../../../bus/usb-serial/drivers/ftdi_sio"},
      {"sys/class/tty/ttyUSB0/device", "@" + to_root + ftdi + "/1-2:1.0/ttyUSB0"},
      {uno + "/idVendor", "=2341"},
      {uno + "/idProduct", "=0043"},
      {uno + "/1-3:1.0/driver", "@../../../bus/usb/drivers/cdc_acm"},
      {"sys/class/tty/ttyACM0/device", "@" + to_root + uno + "/1-3:1.0"},
      {pnp + "/driver", "@../../../bus/pnp/drivers/serial"},
      {pnp + "/00:01:0/00:01:0.0/driver", "@../../../../../bus/serial-base/drivers/port"},
      {pnp + "/00:01:0/00:01:0.0/subsystem", "@../../../../../bus/serial-base"},
      {"sys/class/tty/ttyS10/device", "@" + to_root + pnp + "/00:01:0/00:01:0.0"},
      {"sys/class/tty/ttyS10/type", "=4"},
      {"sys/class/tty/ttyS2/device", "@" + to_root + pnp},  // registered, no UART found
      {"sys/class/tty/ttyS2/type", "=0"},
      {"sys/class/tty/tty0/dev", "=4:0"},  // a virtual terminal: no device
      {"dev/ttyUSB0", "@" + usb.path()},
      {"dev/ttyACM0", "@" + acm.path()},
      {"dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0", "@../../ttyUSB0"}};
  for (const auto& [path, what] : tree) {
    const std::string full = dir.File(path);
    std::system(("mkdir -p '" + full.substr(0, full.rfind('/')) + "'").c_str());
    if (what[0] == '@') {
      ASSERT_EQ(symlink(what.c_str() + 1, full.c_str()), 0) << path;
    } else {
      std::ofstream(full) << what.substr(1) << "\n";
    }
  }
  // ttyACM0 is held by another opener's lock, as a running monitor holds its port.
  const int holder = open(acm.path().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);

  std::vector<std::string> absent;
  const auto devices = ListSerialDevices({dir.File("sys"), dir.File("dev"), "/proc"}, &absent);
  close(holder);
  std::vector<std::string> got;  // path|by-id|driver|usb id|usb name|errno|locked
  for (const SerialDevice& d : devices) {
    got.push_back(d.path + "|" + d.by_id + "|" + d.driver + "|" + d.usb_id + "|" + d.usb_name +
                  "|" + std::to_string(d.open_error) + "|" + std::to_string(d.locked));
  }
  const std::string dev = dir.File("dev/");
  EXPECT_EQ(got,
            (std::vector<std::string>{dev + "ttyACM0||cdc_acm|2341:0043||0|1",
                                      dev + "ttyS10||serial|||" + std::to_string(ENOENT) + "|0",
                                      dev + "ttyUSB0|" + dev +
                                          "serial/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0" +
                                          "|ftdi_sio|0403:6001|FTDI FT232R USB UART|0|0"}));
  EXPECT_EQ(absent, std::vector<std::string>{dir.File("dev/ttyS2")});
  std::system(("rm -rf '" + dir.File("sys") + "' '" + dir.File("dev") + "'").c_str());
}

}  // namespace
