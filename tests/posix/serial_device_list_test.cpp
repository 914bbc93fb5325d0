// The serial device list on a made-up sysfs and /dev whose device files are real
// pseudo-terminals, so that the open and lock checks meet real devices.
#include "platform/posix/serial_device_list.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

#include "support.h"

namespace {

// A tree of directories, files and symbolic links under a scratch directory.
class Tree {
 public:
  explicit Tree(const std::string& root) : root_(root) {}
  ~Tree() { std::system(("rm -rf '" + root_ + "/sys' '" + root_ + "/dev'").c_str()); }
  void Dir(const std::string& path) {
    std::system(("mkdir -p '" + root_ + "/" + path + "'").c_str());
  }
  void File(const std::string& path, const std::string& text) {
    Dir(path.substr(0, path.rfind('/')));
    std::ofstream(root_ + "/" + path) << text << "\n";
  }
  void Link(const std::string& path, const std::string& target) {
    Dir(path.substr(0, path.rfind('/')));
    ASSERT_EQ(symlink(target.c_str(), (root_ + "/" + path).c_str()), 0) << path;
  }

 private:
  std::string root_;
};

TEST(SerialDeviceListTest, SysfsTellsDriverUsbAdapterAndStableNameAndOpeningTellsTheRest) {
  ScratchDirectory dir;
  PseudoTerminal usb, acm;
  Tree t(dir.path());
  const std::string usb_dev = "sys/devices/pci0/usb1/1-2";
  const std::string acm_dev = "sys/devices/pci0/usb1/1-3";
  t.File(usb_dev + "/idVendor", "0403");
  t.File(usb_dev + "/idProduct", "6001");
  t.File(usb_dev + "/manufacturer", "FTDI");
  t.File(usb_dev + "/product", "FT232R USB UART");
  t.Dir(usb_dev + "/1-2:1.0/ttyUSB0");
  t.Link(usb_dev + "/1-2:1.0/ttyUSB0/driver", "../../../../../bus/usb-serial/drivers/ftdi_sio");
  t.Link("sys/class/tty/ttyUSB0/device", "../../../../" + usb_dev + "/1-2:1.0/ttyUSB0");
  t.File(acm_dev + "/idVendor", "2341");
  t.File(acm_dev + "/idProduct", "0043");
  t.Link(acm_dev + "/1-3:1.0/driver", "../../../../../bus/usb/drivers/cdc_acm");
  t.Link("sys/class/tty/ttyACM0/device", "../../../../" + acm_dev + "/1-3:1.0");
  // A UART behind the serial-base port device of newer kernels, and one without hardware.
  const std::string pnp = "sys/devices/pnp0/00:01";
  t.Link(pnp + "/driver", "../../../bus/pnp/drivers/serial");
  t.Link(pnp + "/00:01:0/00:01:0.0/driver", "../../../../../bus/serial-base/drivers/port");
  t.Link(pnp + "/00:01:0/00:01:0.0/subsystem", "../../../../../bus/serial-base");
  t.Link("sys/class/tty/ttyS10/device", "../../../../" + pnp + "/00:01:0/00:01:0.0");
  t.File("sys/class/tty/ttyS10/type", "4");
  t.Link("sys/class/tty/ttyS2/device", "../../../../" + pnp);
  t.File("sys/class/tty/ttyS2/type", "0");
  t.Dir("sys/class/tty/tty0");  // a virtual terminal: no device
  t.Link("dev/ttyUSB0", usb.path());
  t.Link("dev/ttyACM0", acm.path());
  t.Link("dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0", "../../ttyUSB0");
  // ttyACM0 is held by another opener's lock, as a running monitor holds its port.
  const int holder = open(acm.path().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);

  std::vector<std::string> absent;
  const auto devices = ListSerialDevices({dir.File("sys"), dir.File("dev"), "/proc"}, &absent);
  close(holder);
  struct Expected {
    const char* name;
    const char* by_id;
    const char* driver;
    const char* usb_id;
    const char* usb_name;
    int open_error;
    bool locked;
  };
  const Expected expected[] = {{"ttyACM0", "", "cdc_acm", "2341:0043", "", 0, true},
                               {"ttyS10", "", "serial", "", "", ENOENT, false},
                               {"ttyUSB0", "usb-FTDI_FT232R_USB_UART_A1-if00-port0", "ftdi_sio",
                                "0403:6001", "FTDI FT232R USB UART", 0, false}};
  ASSERT_EQ(devices.size(), std::size(expected));
  for (std::size_t i = 0; i < devices.size(); ++i) {
    const SerialDevice& d = devices[i];
    const Expected& e = expected[i];
    SCOPED_TRACE(e.name);
    EXPECT_EQ(d.path, dir.File("dev/") + e.name);
    EXPECT_EQ(d.by_id, *e.by_id ? dir.File("dev/serial/by-id/") + e.by_id : "");
    EXPECT_EQ(d.driver, e.driver);
    EXPECT_EQ(d.usb_id, e.usb_id);
    EXPECT_EQ(d.usb_name, e.usb_name);
    EXPECT_EQ(d.open_error, e.open_error);
    EXPECT_EQ(d.locked, e.locked);
  }
  EXPECT_EQ(absent, std::vector<std::string>{dir.File("dev/ttyS2")});
  // The checks gave everything back: the lock can be taken again.
  const int again = open(acm.path().c_str(), O_RDWR | O_NOCTTY);
  EXPECT_EQ(flock(again, LOCK_EX | LOCK_NB), 0);
  close(again);
}

}  // namespace
