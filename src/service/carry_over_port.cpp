#include "service/carry_over_port.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

PortHandle CarryOverPort::Open(int port_number) {
  Drop();
  return inner_->Open(port_number);
}

void CarryOverPort::TakeWaiting(PortHandle port) {
  // Each read asks for no more than waits, so it returns at once; bytes that come meanwhile
  // are taken by the next round, and a port that stops answering ends it.
  for (;;) {
    const int waiting = inner_->WaitingCount(port);
    if (waiting <= 0) return;
    const std::size_t old = carry_.size();
    carry_.resize(old + static_cast<std::size_t>(waiting));
    const int n = inner_->Read(port, carry_.data() + old, static_cast<std::uint32_t>(waiting));
    carry_.resize(old + static_cast<std::size_t>(std::max(n, 0)));
    if (n <= 0) return;
  }
}

void CarryOverPort::PutBack(const std::uint8_t* bytes, std::size_t count) {
  carry_.erase(carry_.begin(), carry_.begin() + static_cast<std::ptrdiff_t>(taken_));
  taken_ = 0;
  carry_.insert(carry_.begin(), bytes, bytes + count);
}

void CarryOverPort::Purge(PortHandle port) {
  if (held_) {
    TakeWaiting(port);
    return;
  }
  Drop();
  inner_->Purge(port);
}

int CarryOverPort::WaitingCount(PortHandle port) {
  const int waiting = inner_->WaitingCount(port);
  const int carried = static_cast<int>(this->carried());
  if (carried == 0) return waiting;
  // The carry is read out even when the device has gone away since.
  return waiting < 0 ? carried : waiting + carried;
}

int CarryOverPort::Read(PortHandle port, std::uint8_t* dst, std::uint32_t count) {
  if (carried() == 0) return inner_->Read(port, dst, count);
  const std::size_t n = std::min<std::size_t>(count, carried());
  std::memcpy(dst, carry_.data() + taken_, n);
  taken_ += n;
  if (carried() == 0) Drop();
  return static_cast<int>(n);
}

int CarryOverPort::WriteOverlapped(PortHandle port, const std::uint8_t* src, std::uint32_t count) {
  // A write purges the port first: the carry goes with it.
  Drop();
  return inner_->WriteOverlapped(port, src, count);
}

int CarryOverPort::WritePlain(PortHandle port, const std::uint8_t* src, std::uint32_t count) {
  Drop();
  return inner_->WritePlain(port, src, count);
}

void CarryOverPort::Close(PortHandle port) {
  Drop();
  inner_->Close(port);
}
