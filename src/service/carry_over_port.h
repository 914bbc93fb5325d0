// A serial port that can keep its input across the end of one run and the start of the next.
// The stop and the start purge the port; while the port is held, a purge takes every byte that
// waits into a carry instead of throwing it away, and the next reads return the carry first,
// so that what the receiver sent across the boundary is read by the next run.
#pragma once

#include <cstdint>
#include <vector>

#include "serial/serial_port.h"

class CarryOverPort : public SerialPort {
 public:
  // inner stays the caller's and must outlive this port.
  explicit CarryOverPort(SerialPort* inner) : inner_(inner) {}

  // While held, purges keep what waits. Released, a purge purges again (the carry with it).
  void Hold(bool held) { held_ = held; }
  std::size_t carried() const { return carry_.size() - taken_; }
  // Puts bytes already read back in front of the carry: the next reads return them first.
  void PutBack(const std::uint8_t* bytes, std::size_t count);

  int PlatformId() override { return inner_->PlatformId(); }
  PortHandle Open(int port_number) override;
  PortHandle Reopen(int port_number) override { return inner_->Reopen(port_number); }
  int SetBaud(PortHandle port, std::uint32_t baud) override { return inner_->SetBaud(port, baud); }
  void Purge(PortHandle port) override;
  int WaitingCount(PortHandle port) override;
  int LostInput(PortHandle port) override { return inner_->LostInput(port); }
  int Read(PortHandle port, std::uint8_t* dst, std::uint32_t count) override;
  int WriteOverlapped(PortHandle port, const std::uint8_t* src, std::uint32_t count) override;
  int WritePlain(PortHandle port, const std::uint8_t* src, std::uint32_t count) override;
  void Close(PortHandle port) override;

 private:
  // Moves every byte that waits at the port into the carry.
  void TakeWaiting(PortHandle port);
  void Drop() {
    carry_.clear();
    taken_ = 0;
  }

  SerialPort* inner_;
  bool held_ = false;
  std::vector<std::uint8_t> carry_;
  std::size_t taken_ = 0;  // bytes of carry_ already read
};
