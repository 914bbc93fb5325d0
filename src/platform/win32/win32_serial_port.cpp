#include "platform/win32/win32_serial_port.h"

#include <cwchar>

namespace {

constexpr DWORD kReadIntervalTimeout = 0;
constexpr DWORD kReadMultiplier = 3;
constexpr DWORD kReadConstant = 10;
constexpr DWORD kWriteMultiplier = 3;
constexpr DWORD kWriteConstant = 20;

HANDLE NewEvent() {
  return CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

void SetRts(HANDLE handle, bool on) {
  // Fails on pseudo-terminals and some adapters; the line state is a courtesy to the receiver.
  EscapeCommFunction(handle, on ? SETRTS : CLRRTS);
}

void SetDtr(HANDLE handle, bool on) {
  EscapeCommFunction(handle, on ? SETDTR : CLRDTR);
}

// Both queues emptied, the error condition cleared, RTS low and DTR high.
void PurgeHandle(HANDLE handle) {
  SetRts(handle, false);
  SetDtr(handle, true);
  PurgeComm(handle, Win32SerialPort::kPurgeAll);
  DWORD errors = 0;
  ClearCommError(handle, &errors, nullptr);
}

// The error bits that say the driver lost received bytes: its input queue was full, or a
// character came before the previous one was taken from the UART.
constexpr DWORD kInputLost = CE_RXOVER | CE_OVERRUN;

// Clears the port's error condition, keeping in *lost the bits that tell of lost input.
void ClearErrors(HANDLE handle, DWORD* lost) {
  DWORD errors = 0;
  COMSTAT status = {};
  ClearCommError(handle, &errors, &status);
  *lost |= errors & kInputLost;
}

// Waits until the pending operation of the record has ended and returns the bytes it moved. One
// that ended in a failure (under Wine: a read whose time-out ran out with nothing read) has moved
// the bytes that came before it; the port's error condition is cleared, and *failure (when
// given) keeps the error, else 0.
DWORD FinishPending(HANDLE handle, OVERLAPPED* record, DWORD* lost, DWORD* failure = nullptr) {
  DWORD count = 0;
  DWORD error = 0;
  while (!GetOverlappedResult(handle, record, &count, TRUE)) {
    error = GetLastError();
    if (error != ERROR_IO_INCOMPLETE) {
      ClearErrors(handle, lost);
      break;
    }
    error = 0;
  }
  if (failure != nullptr) *failure = error;
  return count;
}

// The errors with which the communication functions end once the device behind the handle has
// gone: a USB adapter unplugged or reset, the far end of a pseudo-terminal closed under Wine.
bool DeviceGone(DWORD error) {
  switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_INVALID_HANDLE:
    case ERROR_NOT_READY:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_BROKEN_PIPE:
    case ERROR_OPERATION_ABORTED:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
      return true;
    default:
      return false;
  }
}

}  // namespace

Win32SerialPort::~Win32SerialPort() {
  for (OpenPort& entry : ports_) {
    if (entry.handle != INVALID_HANDLE_VALUE) Release(&entry);
  }
}

int Win32SerialPort::PlatformId() {
  OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof info;
#ifdef _MSC_VER
#pragma warning(suppress : 4996)  // only the platform id is wanted, which is never faked
#endif
  if (!GetVersionExW(&info)) return 0;
  return static_cast<int>(info.dwPlatformId);
}

Win32SerialPort::OpenPort* Win32SerialPort::Find(PortHandle port) {
  if (port == kInvalidPort) return nullptr;
  for (OpenPort& entry : ports_) {
    if (entry.handle != INVALID_HANDLE_VALUE && reinterpret_cast<PortHandle>(entry.handle) == port)
      return &entry;
  }
  return nullptr;
}

void Win32SerialPort::Release(OpenPort* entry) {
  CloseHandle(entry->read.hEvent);
  CloseHandle(entry->write.hEvent);
  CloseHandle(entry->handle);
  *entry = OpenPort{};
}

PortHandle Win32SerialPort::Open(int port_number) {
  return OpenNamed(port_number, true);
}

PortHandle Win32SerialPort::Reopen(int port_number) {
  // The same name: Windows gives a USB adapter that comes back its COM number again.
  return OpenNamed(port_number, false);
}

PortHandle Win32SerialPort::OpenNamed(int port_number, bool purge) {
  OpenPort* entry = nullptr;
  for (OpenPort& candidate : ports_) {
    if (candidate.handle == INVALID_HANDLE_VALUE) {
      entry = &candidate;
      break;
    }
  }
  if (entry == nullptr) return kInvalidPort;

  // The device namespace form opens COM10 and above as well as COM1 to COM9.
  const auto other = com_numbers_.find(port_number);
  const int com_number = other != com_numbers_.end() ? other->second : port_number;
  wchar_t name[32];
  std::swprintf(name, sizeof name / sizeof name[0], L"\\\\.\\COM%d", com_number);
  const HANDLE handle = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return kInvalidPort;

  SetRts(handle, false);
  SetDtr(handle, true);
  SetCommMask(handle, kEventMask);
  SetupComm(handle, kInputQueue, kOutputQueue);
  // What a device that came back has sent since is kept: those bytes are readings too.
  if (purge) PurgeComm(handle, kPurgeAll);
  COMMTIMEOUTS timeouts = {kReadIntervalTimeout, kReadMultiplier, kReadConstant, kWriteMultiplier,
                           kWriteConstant};
  SetCommTimeouts(handle, &timeouts);

  const HANDLE read_event = NewEvent();
  if (read_event == nullptr) {
    CloseHandle(handle);
    return kInvalidPort;
  }
  const HANDLE write_event = NewEvent();
  if (write_event == nullptr) {
    CloseHandle(handle);
    CloseHandle(read_event);
    return kInvalidPort;
  }
  entry->handle = handle;
  entry->read = OVERLAPPED{};
  entry->read.hEvent = read_event;
  entry->write = OVERLAPPED{};
  entry->write.hEvent = write_event;
  return reinterpret_cast<PortHandle>(handle);
}

int Win32SerialPort::SetBaud(PortHandle port, std::uint32_t baud) {
  OpenPort* entry = Find(port);
  if (entry == nullptr) return 0;

  DCB reported = {};
  reported.DCBlength = sizeof reported;
  GetCommState(entry->handle, &reported);
  // Every member not set below is 0: no parity checking, no flow control of any kind, no error
  // replacement, no NUL stripping, no abort on errors, no special characters. The reserved
  // members keep what the driver reported.
  DCB dcb = {};
  dcb.DCBlength = sizeof dcb;
  dcb.fDummy2 = reported.fDummy2;
  dcb.wReserved1 = reported.wReserved1;
  dcb.BaudRate = baud;
  dcb.fBinary = 1;
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  dcb.XoffLim = kXoffLimit;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  if (!SetCommState(entry->handle, &dcb)) {
    Release(entry);
    return 0;
  }
  return 1;
}

void Win32SerialPort::Purge(PortHandle port) {
  OpenPort* entry = Find(port);
  if (entry != nullptr) PurgeHandle(entry->handle);
}

int Win32SerialPort::WaitingCount(PortHandle port) {
  OpenPort* entry = Find(port);
  if (entry == nullptr) return 0;
  DWORD errors = 0;
  COMSTAT status = {};
  // The device went away (or the driver failed): the count cannot be told.
  if (!ClearCommError(entry->handle, &errors, &status)) return -1;
  entry->lost |= errors & kInputLost;
  return static_cast<int>(status.cbInQue);
}

int Win32SerialPort::LostInput(PortHandle port) {
  OpenPort* entry = Find(port);
  if (entry == nullptr) return 0;
  ClearErrors(entry->handle, &entry->lost);
  const bool lost = entry->lost != 0;
  entry->lost = 0;
  return lost ? 1 : 0;
}

int Win32SerialPort::Read(PortHandle port, std::uint8_t* dst, std::uint32_t count) {
  OpenPort* entry = Find(port);
  if (entry == nullptr) return -1;

  DWORD got = 0;
  if (ReadFile(entry->handle, dst, count, &got, &entry->read)) return static_cast<int>(got);
  const DWORD error = GetLastError();
  if (error == ERROR_TIMEOUT) {
    // Wine ends a read whose time-out ran out with nothing read as a failure with this code,
    // where Windows reports success with 0 bytes.
    ClearErrors(entry->handle, &entry->lost);
    return 0;
  }
  if (error != ERROR_IO_PENDING) {
    ClearErrors(entry->handle, &entry->lost);
    return -1;
  }
  DWORD failure = 0;
  got = FinishPending(entry->handle, &entry->read, &entry->lost, &failure);
  // A read that the device's going away ended before anything came is refused, as one that
  // it refused at its start: the monitor then lets the port go.
  if (got == 0 && DeviceGone(failure)) return -1;
  return static_cast<int>(got);
}

int Win32SerialPort::WriteOverlapped(PortHandle port, const std::uint8_t* src,
                                     std::uint32_t count) {
  OpenPort* entry = Find(port);
  if (entry == nullptr) return -1;
  DWORD written = 0;
  PurgeHandle(entry->handle);
  SetRts(entry->handle, true);
  if (!WriteFile(entry->handle, src, count, &written, &entry->write)) {
    if (GetLastError() != ERROR_IO_PENDING) {
      PurgeHandle(entry->handle);  // which drops RTS too
      return -1;
    }
    written = FinishPending(entry->handle, &entry->write, &entry->lost);
  }
  SetRts(entry->handle, false);
  return static_cast<int>(written);
}

int Win32SerialPort::WritePlain(PortHandle port, const std::uint8_t* src, std::uint32_t count) {
  OpenPort* entry = Find(port);
  if (entry == nullptr) return -1;
  DWORD written = 0;
  PurgeHandle(entry->handle);
  SetRts(entry->handle, true);
  // The handle is overlapped, and a write on such a handle without an overlapped record may
  // report completion wrongly (Wine refuses it outright); so the plain path also issues it
  // through the write record and waits, and differs only in treating a late failure as one.
  const bool issued = WriteFile(entry->handle, src, count, &written, &entry->write) ||
                      (GetLastError() == ERROR_IO_PENDING &&
                       GetOverlappedResult(entry->handle, &entry->write, &written, TRUE));
  SetRts(entry->handle, false);
  if (!issued) {
    PurgeHandle(entry->handle);
    return -1;
  }
  return static_cast<int>(written);
}

void Win32SerialPort::Close(PortHandle port) {
  OpenPort* entry = Find(port);
  if (entry == nullptr) return;
  PurgeHandle(entry->handle);
  SetCommMask(entry->handle, 0);
  Release(entry);
}
