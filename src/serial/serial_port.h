// The serial port operations that the monitor needs, in its own words. The Windows program
// implements them with the communication functions, the Linux programs with termios, and the
// tests with a scripted fake.
//
// Line settings of every open port: the baud rate given to SetBaud, 8 data bits, no parity, one
// stop bit, no flow control, raw binary. Input queue 4096 bytes (where the driver takes a size),
// output queue 256 bytes.
#pragma once

#include <cstdint>

#include "app/handles.h"

class SerialPort {
 public:
  virtual ~SerialPort() = default;

  // The running system's platform family as the Windows version information reports it:
  // 1 for the 95/98 family, 2 for the NT family; 0 where the platform has no such notion.
  virtual int PlatformId() = 0;

  // Opens serial port COM<port_number> for exclusive use with the fixed queues and time-outs;
  // afterwards both queues are empty, RTS is low and DTR high. Returns kInvalidPort on failure,
  // having left nothing open.
  virtual PortHandle Open(int port_number) = 0;

  // Opens the port again after its device went away during a run: as Open, except that what
  // the device sent since it came back stays queued (each of those bytes is a reading), and
  // that a failure, the expected answer while the device is away, is not told as a failed Open
  // is. Cheap and never waits, since a run tries it at every poll.
  virtual PortHandle Reopen(int port_number) = 0;

  // Applies the line settings with this baud rate. Returns 1 when they took effect; 0 when they
  // did not, the port then being closed (the handle is stale).
  virtual int SetBaud(PortHandle port, std::uint32_t baud) = 0;

  // Empties both queues (unread input is lost), clears the error condition, RTS low, DTR high.
  virtual void Purge(PortHandle port) = 0;

  // Number of bytes waiting in the input queue; also clears the port's error condition.
  // -1 when the open port cannot tell it because the device has gone away or failed; 0 for a
  // handle that is not open.
  virtual int WaitingCount(PortHandle port) = 0;

  // 1 when the driver has lost received bytes since the last call (its input queue overflowed
  // or the line overran), as far as it noticed at a waiting count, a read or this call; 0
  // otherwise, for a handle that is not open, and where the driver keeps no such record. A loss
  // that only a purge came upon is not told: the purge threw those bytes away anyway.
  virtual int LostInput(PortHandle port) = 0;

  // Reads up to count bytes into dst. Ends as soon as count bytes are there, at the latest
  // 3 * count + 10 ms after it began, with the bytes that came (possibly none). Returns the
  // number of bytes read, or -1 when the read was refused at its start.
  virtual int Read(PortHandle port, std::uint8_t* dst, std::uint32_t count) = 0;

  // The two write paths. Both begin by purging the port (received bytes that were not read are
  // discarded), hold RTS high only while writing, take at most 3 * count + 20 ms, and leave RTS
  // low. Return the number of bytes written, or -1.
  virtual int WriteOverlapped(PortHandle port, const std::uint8_t* src, std::uint32_t count) = 0;
  virtual int WritePlain(PortHandle port, const std::uint8_t* src, std::uint32_t count) = 0;

  // Purges and closes the port. A handle that is not open is left alone.
  virtual void Close(PortHandle port) = 0;
};
