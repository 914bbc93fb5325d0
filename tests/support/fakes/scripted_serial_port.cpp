#include "support/fakes/scripted_serial_port.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t kReservedQueue = 1 << 16;

}  // namespace

ScriptedSerialPort::ScriptedSerialPort(ManualClock* clock) : clock_(clock) {
  for (int n = 1; n <= 4; ++n) present_.insert(n);
  queue_.reserve(kReservedQueue);
}

void ScriptedSerialPort::SetPresent(int port_number, bool present) {
  if (present) {
    present_.insert(port_number);
  } else {
    present_.erase(port_number);
  }
}

void ScriptedSerialPort::SetHeldElsewhere(int port_number, bool held) {
  if (held) {
    held_.insert(port_number);
  } else {
    held_.erase(port_number);
  }
}

void ScriptedSerialPort::Arrive(const std::uint8_t* bytes, std::size_t count) {
  // Compact before growing so that the reserved storage keeps serving.
  if (head_ > 0) {
    queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(head_));
    head_ = 0;
  }
  queue_.insert(queue_.end(), bytes, bytes + count);
}

void ScriptedSerialPort::ArriveLater(std::vector<std::uint8_t>* bytes) {
  if (bytes->empty()) return;
  std::vector<std::uint8_t> arriving;
  arriving.swap(*bytes);
  Arrive(arriving);
}

PortHandle ScriptedSerialPort::Reopen(int port_number) {
  ++reopen_calls_;
  return OpenHandle(port_number, false);
}

PortHandle ScriptedSerialPort::OpenHandle(int port_number, bool purge) {
  last_port_number_ = port_number;
  const bool open_already = std::any_of(
      open_.begin(), open_.end(), [port_number](const auto& e) { return e.second == port_number; });
  if (present_.count(port_number) == 0 || held_.count(port_number) != 0 || open_already) {
    return kInvalidPort;
  }
  const PortHandle handle = next_handle_++;
  open_[handle] = port_number;
  if (purge) DropQueue();
  return handle;
}

int ScriptedSerialPort::SetBaud(PortHandle port, std::uint32_t baud) {
  if (!CheckOpen(port)) return 0;
  if (refused_bauds_.count(baud) != 0) {
    // A refused setting closes the port, as the real layer does.
    Close(port);
    return 0;
  }
  baud_ = baud;
  return 1;
}

void ScriptedSerialPort::Purge(PortHandle port) {
  if (!CheckOpen(port)) return;
  ++purge_calls_;
  DropQueue();
}

int ScriptedSerialPort::WaitingCount(PortHandle port) {
  if (!CheckOpen(port)) return 0;
  if (line_lost_) return -1;
  return static_cast<int>(Queued());
}

int ScriptedSerialPort::LostInput(PortHandle port) {
  if (!CheckOpen(port)) return 0;
  const bool lost = input_lost_;
  input_lost_ = false;
  return lost ? 1 : 0;
}

int ScriptedSerialPort::Read(PortHandle port, std::uint8_t* dst, std::uint32_t count) {
  ++read_calls_;
  last_read_request_ = count;
  if (!CheckOpen(port)) return -1;
  if (fail_next_read_ || line_lost_) {
    fail_next_read_ = false;
    return -1;
  }
  ArriveLater(&during_read_);
  const std::size_t available = Queued();
  // The read waits for its whole time-out when fewer bytes than asked for come.
  if (available < count && clock_ != nullptr) clock_->Advance(3 * count + 10);
  const std::size_t n = std::min<std::size_t>(available, count);
  if (n > 0) std::memcpy(dst, queue_.data() + head_, n);
  head_ += n;
  bytes_read_ += n;
  if (head_ == queue_.size()) DropQueue();
  ArriveLater(&after_read_);
  return static_cast<int>(n);
}

int ScriptedSerialPort::WriteOverlapped(PortHandle port, const std::uint8_t* src,
                                        std::uint32_t count) {
  ++overlapped_writes_;
  return Write(port, src, count);
}

int ScriptedSerialPort::WritePlain(PortHandle port, const std::uint8_t* src, std::uint32_t count) {
  ++plain_writes_;
  return Write(port, src, count);
}

void ScriptedSerialPort::Close(PortHandle port) {
  if (!CheckOpen(port)) return;
  ++close_calls_;
  DropQueue();
  open_.erase(port);
}

bool ScriptedSerialPort::CheckOpen(PortHandle port) {
  if (open_.count(port) != 0) return true;
  ++closed_handle_calls_;
  return false;
}

int ScriptedSerialPort::Write(PortHandle port, const std::uint8_t* src, std::uint32_t count) {
  if (!CheckOpen(port)) return -1;
  // Every write begins by discarding what was received and not read.
  DropQueue();
  if (fail_writes_) return -1;
  writes_.emplace_back(src, src + count);
  if (!write_reply_.empty()) Arrive(write_reply_);
  return static_cast<int>(count);
}

void ScriptedSerialPort::DropQueue() {
  queue_.clear();
  head_ = 0;
}
