// The serial port on Linux, through termios. A handle is the file descriptor of the open
// device. The port remembers which descriptors it opened itself, so that a stale handle (one
// closed already, whose number the process may since have given to another file) is never read,
// written, purged or closed. The driver keeps its own queue sizes: the monitor never asks for
// more bytes at once than its buffers hold.
#pragma once

#include <termios.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix/com_port_map.h"
#include "platform/posix/device_identity.h"
#include "platform/posix/open_failure.h"
#include "platform/posix/port_loss.h"
#include "platform/posix/serial_device_list.h"
#include "serial/serial_port.h"

class PosixSerialPort : public SerialPort {
 public:
  // roots: where sysfs and /dev are, for the identity of the devices it opens.
  explicit PosixSerialPort(ComPortMap ports, SystemRoots roots = {});
  ~PosixSerialPort() override;  // closes what is still open
  PosixSerialPort(const PosixSerialPort&) = delete;
  PosixSerialPort& operator=(const PosixSerialPort&) = delete;

  // Linux has no version information of the Windows kind: every write takes the plain path.
  int PlatformId() override { return 0; }

  PortHandle Open(int port_number) override;
  // By the configured path again, so that a /dev/serial/by-id name follows its adapter to
  // whichever device node it gets when it is plugged in again. Where the device opened by Open
  // had an identity (device_identity.h), a device at the path without that identity is not
  // opened: the reopening fails as while the path leads nowhere, and the listener of other
  // devices hears of it once, until the run's device is back.
  PortHandle Reopen(int port_number) override;
  int SetBaud(PortHandle port, std::uint32_t baud) override;
  void Purge(PortHandle port) override;
  int WaitingCount(PortHandle port) override;
  // Where the driver counts its overruns (TIOCGICOUNT; pseudo-terminals do not).
  int LostInput(PortHandle port) override;
  int Read(PortHandle port, std::uint8_t* dst, std::uint32_t count) override;
  int WriteOverlapped(PortHandle port, const std::uint8_t* src, std::uint32_t count) override;
  int WritePlain(PortHandle port, const std::uint8_t* src, std::uint32_t count) override;
  void Close(PortHandle port) override;

  // Called at every failed Open with the reason, before Open returns (for a front end that
  // tells the user).
  void SetOpenFailureListener(std::function<void(const OpenFailure&)> listener) {
    failure_listener_ = std::move(listener);
  }
  // Called when an open port stops answering (a hang-up, an I/O error, the device gone), once
  // for each time it does: a device opened again that fails before it has told a waiting count
  // is still the same loss.
  void SetLossListener(std::function<void(const PortLoss&)> listener) {
    loss_listener_ = std::move(listener);
  }
  void SetOtherDeviceListener(std::function<void(const OtherDevice&)> listener) {
    other_device_listener_ = std::move(listener);
  }

 private:
  // Open and Reopen: a first open purges the queues and tells its failures.
  PortHandle OpenDevice(int port_number, bool first);
  PortHandle Refuse(int port_number, const std::string& path, OpenFailureKind kind, int error,
                    bool tell);
  // Before a reopening: whether the device at path may be opened, being the one Open took or
  // one of a port without identity; *node is then its device number. Another device is told
  // once.
  bool MayReopen(int port_number, const std::string& path, dev_t* node);
  // What the port keeps of each descriptor it opened.
  struct Device {
    int fd = -1;
    int port_number = 0;
    bool tells_loss = false;  // whether a failure is a loss of its own to tell
    bool has_settings_before = false;
    termios settings_before{};  // the line settings it had, put back when it is closed
    // Whether the driver counts its losses at all, asked once at the open: the poll path need
    // not ask a pseudo-terminal again at every waiting count.
    bool counts_losses = false;
    long losses_seen = 0;  // the driver's loss count as last seen
    bool lost = false;     // the count moved since LostInput last told
  };
  // The device behind a handle this port opened, or nullptr.
  Device* Find(PortHandle port);
  // Tells the listener that the device stopped answering, once.
  void TellLoss(Device& device, int error);
  int Write(PortHandle port, const std::uint8_t* src, std::uint32_t count);
  void Release(int fd);
  // Takes the driver's loss count; a move is kept unless a purge took it (the purge threw the
  // bytes out too). False where the driver keeps no count.
  static bool NoteLosses(Device& device, bool keep);

  // What Open found of a port's device, kept across its outages.
  struct Remembered {
    DeviceIdentity identity;
    bool other_told = false;  // another device at the path was told since the device was away
  };

  ComPortMap ports_;
  SystemRoots roots_;
  std::vector<Device> devices_;
  std::map<int, Remembered> remembered_;  // by port number
  std::function<void(const OpenFailure&)> failure_listener_;
  std::function<void(const PortLoss&)> loss_listener_;
  std::function<void(const OtherDevice&)> other_device_listener_;
};
