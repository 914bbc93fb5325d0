// A serial port played by a script: tests say which ports exist, what bytes arrive and when,
// how the receiver answers a write, and which operations fail; the port records what the
// monitor did with it. Reading and sleeping move a ManualClock as the real port's time-outs
// would.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <vector>

#include "serial/serial_port.h"
#include "support/fakes/manual_clock.h"

class ScriptedSerialPort : public SerialPort {
 public:
  // clock (optional) is advanced by the time a read waits for bytes that do not come.
  explicit ScriptedSerialPort(ManualClock* clock = nullptr);

  // --- The script ---------------------------------------------------------------------------
  // Ports 1 to 4 exist at first.
  void SetPresent(int port_number, bool present);
  // Another program holds the port: opening it fails.
  void SetHeldElsewhere(int port_number, bool held);
  void SetPlatformId(int id) { platform_id_ = id; }
  // The line settings of this baud rate are refused.
  void RefuseBaud(std::uint32_t baud) { refused_bauds_.insert(baud); }
  // Bytes that are waiting in the input queue now.
  void Arrive(const std::uint8_t* bytes, std::size_t count);
  void Arrive(const std::vector<std::uint8_t>& bytes) { Arrive(bytes.data(), bytes.size()); }
  // Bytes that reach the input queue while the next read is under way (after the monitor
  // looked at the waiting count and paused).
  void ArriveDuringNextRead(const std::vector<std::uint8_t>& bytes) {
    during_read_.insert(during_read_.end(), bytes.begin(), bytes.end());
  }
  // Bytes that reach the input queue just after the next read has ended.
  void ArriveAfterNextRead(const std::vector<std::uint8_t>& bytes) {
    after_read_.insert(after_read_.end(), bytes.begin(), bytes.end());
  }
  // The driver loses received bytes (its queue overflowed): LostInput tells it once.
  void LoseInput() { input_lost_ = true; }
  // Bytes the receiver sends back after every write (an echoing receiver), until changed.
  void ReplyToWrites(const std::vector<std::uint8_t>& bytes) { write_reply_ = bytes; }
  // The next read is refused at its start.
  void FailNextRead() { fail_next_read_ = true; }
  void FailWrites(bool fail) { fail_writes_ = fail; }
  // The device goes away (or comes back): the waiting count cannot be told and reads fail.
  void SetLineLost(bool lost) { line_lost_ = lost; }

  // --- What the monitor did -----------------------------------------------------------------
  std::size_t Queued() const { return queue_.size() - head_; }
  int OpenPorts() const { return static_cast<int>(open_.size()); }
  int ReopenCalls() const { return reopen_calls_; }
  int CloseCalls() const { return close_calls_; }
  int PurgeCalls() const { return purge_calls_; }
  int ReadCalls() const { return read_calls_; }
  std::uint32_t LastReadRequest() const { return last_read_request_; }
  // Bytes that reads took from the input queue, all reads together.
  std::uint64_t BytesRead() const { return bytes_read_; }
  // Calls that named a handle that was not open (none should ever happen).
  int CallsOnClosedHandles() const { return closed_handle_calls_; }
  std::uint32_t Baud() const { return baud_; }
  int LastOpenedPortNumber() const { return last_port_number_; }
  int PlainWrites() const { return plain_writes_; }
  int OverlappedWrites() const { return overlapped_writes_; }
  // Every write's bytes, in order.
  const std::vector<std::vector<std::uint8_t>>& Writes() const { return writes_; }

  // --- SerialPort ---------------------------------------------------------------------------
  int PlatformId() override { return platform_id_; }
  PortHandle Open(int port_number) override { return OpenHandle(port_number, true); }
  PortHandle Reopen(int port_number) override;
  int SetBaud(PortHandle port, std::uint32_t baud) override;
  void Purge(PortHandle port) override;
  int WaitingCount(PortHandle port) override;
  int LostInput(PortHandle port) override;
  int Read(PortHandle port, std::uint8_t* dst, std::uint32_t count) override;
  int WriteOverlapped(PortHandle port, const std::uint8_t* src, std::uint32_t count) override;
  int WritePlain(PortHandle port, const std::uint8_t* src, std::uint32_t count) override;
  void Close(PortHandle port) override;

 private:
  bool CheckOpen(PortHandle port);
  PortHandle OpenHandle(int port_number, bool purge);
  int Write(PortHandle port, const std::uint8_t* src, std::uint32_t count);
  void DropQueue();
  // Moves bytes scripted to come at some point of a read into the queue.
  void ArriveLater(std::vector<std::uint8_t>* bytes);

  ManualClock* clock_;
  std::set<int> present_;
  std::set<int> held_;
  std::set<std::uint32_t> refused_bauds_;
  std::map<PortHandle, int> open_;  // the port number of each open handle
  PortHandle next_handle_ = 100;
  int platform_id_ = 0;

  // The input queue: bytes from head_ on are waiting. Storage is reserved up front so that
  // reading never allocates.
  std::vector<std::uint8_t> queue_;
  std::size_t head_ = 0;
  std::vector<std::uint8_t> during_read_;
  std::vector<std::uint8_t> after_read_;
  bool input_lost_ = false;
  std::vector<std::uint8_t> write_reply_;
  bool fail_next_read_ = false;
  bool fail_writes_ = false;
  bool line_lost_ = false;

  int close_calls_ = 0;
  int reopen_calls_ = 0;
  int purge_calls_ = 0;
  int read_calls_ = 0;
  int closed_handle_calls_ = 0;
  int plain_writes_ = 0;
  int overlapped_writes_ = 0;
  int last_port_number_ = 0;
  std::uint32_t last_read_request_ = 0;
  std::uint64_t bytes_read_ = 0;
  std::uint32_t baud_ = 0;
  std::vector<std::vector<std::uint8_t>> writes_;
};
