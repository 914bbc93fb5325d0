// The serial port of the Windows program: the communication functions on an overlapped handle
// of \\.\COMn, so that ports above COM9 open too.
#pragma once

#include "platform/win32/windows_api.h"

#include <map>

#include "serial/serial_port.h"

class Win32SerialPort : public SerialPort {
 public:
  Win32SerialPort() = default;
  Win32SerialPort(const Win32SerialPort&) = delete;
  Win32SerialPort& operator=(const Win32SerialPort&) = delete;
  ~Win32SerialPort() override;

  // The port number of the settings opens another COM number: port number -> COM number. Ports
  // not named open their own number.
  void SetComNumbers(const std::map<int, int>& com_numbers) { com_numbers_ = com_numbers; }

  int PlatformId() override;
  PortHandle Open(int port_number) override;
  PortHandle Reopen(int port_number) override;
  int SetBaud(PortHandle port, std::uint32_t baud) override;
  void Purge(PortHandle port) override;
  int WaitingCount(PortHandle port) override;
  int LostInput(PortHandle port) override;
  int Read(PortHandle port, std::uint8_t* dst, std::uint32_t count) override;
  int WriteOverlapped(PortHandle port, const std::uint8_t* src, std::uint32_t count) override;
  int WritePlain(PortHandle port, const std::uint8_t* src, std::uint32_t count) override;
  void Close(PortHandle port) override;

  // Line and queue settings of every open port. At 38400 baud about 900 bytes come from one
  // poll's reads to the next (200 ms of timer, 30 ms of pause, the read); a 1024-byte queue
  // would overflow after a tick only 30 ms late. 4096 bytes hold a second of the fastest line.
  static constexpr DWORD kInputQueue = 4096;
  static constexpr DWORD kOutputQueue = 256;
  static constexpr DWORD kEventMask = EV_RXCHAR | EV_TXEMPTY;
  static constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
  static constexpr WORD kXoffLimit = 974;

 private:
  // An open port with the events of its two overlapped records. Every operation looks its
  // handle up here first, so that a handle that is not open (never opened, closed already, or
  // closed by a failed baud setting) is never purged, read, written or closed.
  struct OpenPort {
    HANDLE handle = INVALID_HANDLE_VALUE;
    OVERLAPPED read = {};
    OVERLAPPED write = {};
    DWORD lost = 0;  // the bits of lost input that the error words told since LostInput
  };
  static constexpr int kMaxOpenPorts = 4;

  OpenPort* Find(PortHandle port);
  // Open and Reopen: a first open purges the driver's queues.
  PortHandle OpenNamed(int port_number, bool purge);
  // Closes the events and the handle and frees the entry.
  static void Release(OpenPort* entry);

  OpenPort ports_[kMaxOpenPorts];
  std::map<int, int> com_numbers_;
};
