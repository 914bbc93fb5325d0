#include "platform/posix/serial_device_list.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>

namespace {

// The 8250 driver registers its ports whether or not a UART answers; "type" 0 marks one that
// did not.
constexpr char kNoUart[] = "0";
// Since kernel 6.4 a UART's tty points at a port device of the "serial-base" bus, whose drivers
// ("port", "ctrl") only stand between it and the real one.
constexpr char kSerialBase[] = "serial-base";

// The first line of a small file (sysfs attributes), or empty.
std::string FirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

// The last part of where a symbolic link points, or empty.
std::string LinkName(const std::string& path) {
  char target[4096];
  const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
  if (n <= 0) return std::string();
  const std::string text(target, static_cast<std::size_t>(n));
  return text.substr(text.rfind('/') + 1);
}

bool Exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

// ttyS2 before ttyS10: names compare by their letters, then by the number that ends them.
bool NameOrder(const std::string& a, const std::string& b) {
  const auto split = [](const std::string& s) {
    std::size_t digits = s.size();
    while (digits > 0 && s[digits - 1] >= '0' && s[digits - 1] <= '9') --digits;
    const std::string number = s.substr(digits);
    return std::make_pair(s.substr(0, digits), number.empty() ? -1L : std::stol(number));
  };
  return split(a) < split(b);
}

// Walks from a device directory up towards the root of sysfs, handing each directory to visit
// until it returns true.
template <typename Visit>
void Upwards(std::string dir, const std::string& root, Visit visit) {
  while (dir.size() > root.size() && dir.compare(0, root.size(), root) == 0) {
    if (visit(dir)) return;
    dir.erase(dir.rfind('/'));
  }
}

void FillFromSysfs(const std::string& device_dir, const std::string& sys_root, SerialDevice* d) {
  Upwards(device_dir, sys_root, [d](const std::string& dir) {
    if (!Exists(dir + "/driver") || LinkName(dir + "/subsystem") == kSerialBase) return false;
    d->driver = LinkName(dir + "/driver");
    return true;
  });
  Upwards(device_dir, sys_root, [d](const std::string& dir) {
    if (!Exists(dir + "/idVendor")) return false;
    d->usb_id = FirstLine(dir + "/idVendor") + ":" + FirstLine(dir + "/idProduct");
    const std::string maker = FirstLine(dir + "/manufacturer");
    const std::string product = FirstLine(dir + "/product");
    d->usb_name = maker + (maker.empty() || product.empty() ? "" : " ") + product;
    return true;
  });
}

std::string StableName(const std::string& device_path, const std::string& dev_root) {
  const std::string real = RealPath(device_path);
  const std::string dir = dev_root + "/serial/by-id";
  for (const std::string& name : DirectoryEntries(dir)) {
    if (!real.empty() && RealPath(dir + "/" + name) == real) return dir + "/" + name;
  }
  return std::string();
}

}  // namespace

DeviceIdentity IdentityOf(dev_t device, const SystemRoots& roots) {
  DeviceIdentity id;
  const std::string sys_root = RealPath(roots.sys);
  const std::string node = RealPath(roots.sys + "/dev/char/" + std::to_string(major(device)) + ":" +
                                    std::to_string(minor(device)));
  // The tty sits below the USB interface that is the port, which sits below the adapter.
  if (!node.empty() && !sys_root.empty()) {
    Upwards(node, sys_root, [&id](const std::string& dir) {
      if (id.usb_interface.empty() && Exists(dir + "/bInterfaceNumber")) {
        id.usb_interface = FirstLine(dir + "/bInterfaceNumber");
      }
      if (!Exists(dir + "/idVendor")) return false;
      id.usb_id = FirstLine(dir + "/idVendor") + ":" + FirstLine(dir + "/idProduct");
      id.usb_serial = FirstLine(dir + "/serial");
      return true;
    });
  }
  const std::string dir = roots.dev + "/serial/by-id";
  for (const std::string& name : DirectoryEntries(dir)) {
    struct stat st {};
    if (stat((dir + "/" + name).c_str(), &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == device) {
      id.by_id = name;
      break;
    }
  }
  return id;
}

std::vector<std::string> DirectoryEntries(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (const dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string RealPath(const std::string& path) {
  char* resolved = realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return std::string();
  std::string result = resolved;
  std::free(resolved);
  return result;
}

std::vector<std::string> HoldersOf(const std::string& path, const std::string& proc_root) {
  std::vector<std::string> holders;
  const std::string real = RealPath(path);
  const std::string self = std::to_string(getpid());
  if (real.empty()) return holders;
  for (const std::string& pid : DirectoryEntries(proc_root)) {
    if (pid == self || pid.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string fds = proc_root + "/" + pid + "/fd";
    for (const std::string& fd : DirectoryEntries(fds)) {
      if (RealPath(fds + "/" + fd) != real) continue;
      holders.push_back(FirstLine(proc_root + "/" + pid + "/comm") + " (pid " + pid + ")");
      break;
    }
  }
  return holders;
}

SerialDevice ProbeSerialDevice(const std::string& path, const SystemRoots& roots) {
  SerialDevice d;
  d.path = path;
  d.name = path.substr(path.rfind('/') + 1);
  d.by_id = StableName(path, roots.dev);
  // The open and lock that the monitor's port takes, given back at once. The terminal settings
  // are not touched; without a descriptor left open the device is as it was.
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    d.open_error = errno;
    d.locked = errno == EBUSY;  // another opener's exclusive flag
  } else {
    d.open_error = isatty(fd) ? 0 : ENOTTY;  // a file, but no serial device
    d.locked = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);  // also gives the lock back
  }
  d.holders = HoldersOf(path, roots.proc);
  return d;
}

std::vector<SerialDevice> ListSerialDevices(const SystemRoots& roots,
                                            std::vector<std::string>* absent) {
  const std::string classes = roots.sys + "/class/tty";
  const std::string sys_root = RealPath(roots.sys);
  std::vector<std::string> names = DirectoryEntries(classes);
  std::sort(names.begin(), names.end(), NameOrder);
  std::vector<SerialDevice> devices;
  for (const std::string& name : names) {
    const std::string tty = classes + "/" + name;
    // Consoles and virtual terminals have no device behind them.
    const std::string device_dir = RealPath(tty + "/device");
    if (device_dir.empty()) continue;
    if (FirstLine(tty + "/type") == kNoUart) {
      if (absent != nullptr) absent->push_back(roots.dev + "/" + name);
      continue;
    }
    SerialDevice d = ProbeSerialDevice(roots.dev + "/" + name, roots);
    FillFromSysfs(device_dir, sys_root, &d);
    devices.push_back(d);
  }
  return devices;
}
