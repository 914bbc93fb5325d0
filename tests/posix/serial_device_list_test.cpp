// The serial device list on a made-up sysfs and /dev whose device files are real
// pseudo-terminals, so that the open and lock checks meet real devices.
#include "platform/posix/serial_device_list.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "support.h"

namespace {

TEST(SerialDeviceListTest, SysfsTellsDriverUsbAdapterAndStableNameAndOpeningTellsTheRest) {
  ScratchDirectory dir;
  PseudoTerminal usb, acm;
  const std::string adapter = "sys/devices/pci0/usb1/1-2", board = "sys/devices/pci0/usb1/1-3";
  const std::string pnp = "sys/devices/pnp0/00:01", to_root = "../../../../";
  // Files ("=text") and symbolic links ("@target"), as the kernel and udev lay them out; the
  // newer kernels' UART sits behind a serial-base port device.
  const std::vector<std::pair<std::string, std::string>> tree = {
      {adapter + "/idVendor", "=0abc"},
      {adapter + "/idProduct", "=0def"},
      {adapter + "/manufacturer", "=Bench"},
      {adapter + "/product", "=USB UART"},
      {adapter + "/1-2:1.0/ttyUSB0/driver", "@../../../../bus/usb-serial/drivers/generic"},
      {"sys/class/tty/ttyUSB0/device", "@" + to_root + adapter + "/1-2:1.0/ttyUSB0"},
      {board + "/idVendor", "=0123"},
      {board + "/idProduct", "=4567"},
      {board + "/1-3:1.0/driver", "@../../../bus/usb/drivers/cdc_acm"},
      {"sys/class/tty/ttyACM0/device", "@" + to_root + board + "/1-3:1.0"},
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
      {"dev/serial/by-id/usb-Bench_USB_UART_A1-if00-port0", "@../../ttyUSB0"}};
  ASSERT_TRUE(dir.Lay(tree));
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
  EXPECT_EQ(got, (std::vector<std::string>{
                     dev + "ttyACM0||cdc_acm|0123:4567||0|1",
                     dev + "ttyS10||serial|||" + std::to_string(ENOENT) + "|0",
                     dev + "ttyUSB0|" + dev + "serial/by-id/usb-Bench_USB_UART_A1-if00-port0" +
                         "|generic|0abc:0def|Bench USB UART|0|0"}));
  EXPECT_EQ(absent, std::vector<std::string>{dir.File("dev/ttyS2")});
}

}  // namespace
