// A port that comes back after an outage with another device at its path: two USB adapters
// made up in a sysfs and /dev of the test's own, their device files real pseudo-terminals, one
// path (a symbolic link, as /dev/ttyUSB0 or a by-id name) pointed at each in turn.
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "platform/posix/device_identity.h"
#include "support.h"

namespace {

constexpr int kPort = 3;

// "MAJOR:MINOR" of a device file, as sysfs names it under dev/char.
std::string DeviceNumber(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
}

// The sysfs and /dev entries of a USB adapter (vendor 0403, product 6001) whose first interface
// is the port ttyUSB<n>, its device file being tty.
std::vector<std::pair<std::string, std::string>> Adapter(int n, const std::string& serial,
                                                         const PseudoTerminal& tty) {
  const std::string usb = "devices/pci0/usb1/1-" + std::to_string(n + 2);
  const std::string name = "ttyUSB" + std::to_string(n);
  const std::string node = usb + "/" + usb.substr(usb.rfind('/') + 1) + ":1.0/" + name;
  return {{"sys/" + usb + "/idVendor", "=0403"},
          {"sys/" + usb + "/idProduct", "=6001"},
          {"sys/" + usb + "/serial", "=" + serial},
          {"sys/" + node.substr(0, node.rfind('/')) + "/bInterfaceNumber", "=00"},
          {"sys/" + node + "/tty/" + name + "/dev", "=" + DeviceNumber(tty.path())},
          {"sys/dev/char/" + DeviceNumber(tty.path()), "@../../" + node + "/tty/" + name},
          {"dev/" + name, "@" + tty.path()}};
}

TEST(DeviceIdentityTest, AReopenedPortTakesItsOwnDeviceOrOneWithoutIdentityAndNoOther) {
  ScratchDirectory dir;
  PseudoTerminal first, second, plain;  // two adapters, and a device sysfs does not know
  auto tree = Adapter(0, "A1", first);
  const auto other = Adapter(1, "B2", second);
  tree.insert(tree.end(), other.begin(), other.end());
  tree.push_back({"dev/serial/by-id/usb-Bench_UART_A1-if00-port0", "@../../ttyUSB0"});
  ASSERT_TRUE(dir.Lay(tree));
  const std::string a = dir.File("dev/ttyUSB0"), b = dir.File("dev/ttyUSB1");
  const std::string none = plain.path();
  const std::string a_told = "usb-Bench_UART_A1-if00-port0 (0403:6001 serial A1 interface 00)";
  const std::string b_told = "0403:6001 serial B2 interface 00";

  const struct {
    const char* name;
    std::string opened;  // where the path led when the port was opened
    // Where it leads at each reopening after the outage; an empty handle is expected of each
    // one before the last, which opens.
    std::vector<std::string> after;
    std::vector<std::string> told;  // what the other device listener heard, found/expected
  } cases[] = {
      {"the same adapter", a, {a}, {}},
      {"another adapter, then the run's own", a, {b, b, none, a}, {b_told + "/" + a_told}},
      {"a port without identity takes any device", none, {b}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.File("port");
    ComPortMap ports;
    ports.Set(kPort, path);
    PosixSerialPort port(ports, {dir.File("sys"), dir.File("dev"), "/proc"});
    std::vector<std::string> told;
    port.SetOtherDeviceListener([&told, &path](const OtherDevice& o) {
      EXPECT_EQ(o.path, path);
      EXPECT_EQ(o.port_number, kPort);
      told.push_back(DescribeIdentity(o.found) + "/" + DescribeIdentity(o.expected));
    });
    const int descriptors = OpenDescriptorCount();
    unlink(path.c_str());
    ASSERT_EQ(symlink(c.opened.c_str(), path.c_str()), 0);
    PortHandle handle = port.Open(kPort);
    ASSERT_NE(handle, kInvalidPort);
    port.Close(handle);  // the outage lets the handle go
    for (std::size_t i = 0; i < c.after.size(); ++i) {
      unlink(path.c_str());
      ASSERT_EQ(symlink(c.after[i].c_str(), path.c_str()), 0);
      handle = port.Reopen(kPort);
      if (i + 1 < c.after.size()) {
        EXPECT_EQ(handle, kInvalidPort) << c.after[i];
        EXPECT_EQ(OpenDescriptorCount(), descriptors) << "another device is not even opened";
      }
    }
    ASSERT_NE(handle, kInvalidPort);
    EXPECT_EQ(port.SetBaud(handle, 9600), 1);
    port.Close(handle);
    EXPECT_EQ(told, c.told);
  }
}

}  // namespace
