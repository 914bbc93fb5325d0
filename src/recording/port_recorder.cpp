#include "recording/port_recorder.h"

#include <mutex>
#include <utility>

#include "app/monitor_state.h"
#include "app/resource_ids.h"

PortRecorder::PortRecorder(SerialPort* port, Clock* clock, PathOf path_of, Output output)
    : port_(port), clock_(clock), path_of_(std::move(path_of)), output_(std::move(output)) {
  pending_.reserve(4096);
}

void PortRecorder::Start(const std::string& program) {
  output_(RecordingHeader(program));
}

void PortRecorder::Finish() {
  Begin(RecordKind::kEnd);
  Add();
  Flush();
}

void PortRecorder::Restart(const std::string& program) {
  output_(RecordingHeader(program));
  const std::uint32_t tick = clock_->TickCount();
  const LocalTime time = clock_->Now();
  for (Record record : open_records_) {
    record.tick = tick;
    record.time = time;
    AppendRecord(record, &pending_);
  }
  Flush();
}

std::string PortRecorder::GapRecord(std::uint64_t records, std::uint64_t bytes) {
  Record gap;
  gap.kind = RecordKind::kGap;
  gap.tick = TickCount();
  gap.time = Now();
  gap.number = static_cast<std::int64_t>(records);
  gap.gap_bytes = static_cast<std::int64_t>(bytes);
  std::string line;
  AppendRecord(gap, &line);
  return line;
}

Record& PortRecorder::Begin(RecordKind kind) {
  return Begin(kind, clock_->TickCount(), clock_->Now());
}

Record& PortRecorder::Begin(RecordKind kind, std::uint32_t tick, const LocalTime& time) {
  {
    std::lock_guard<std::mutex> lock(time_mutex_);
    tick_ = tick;
    time_ = time;
  }
  record_.kind = kind;
  record_.tick = tick_;
  record_.time = time_;
  record_.flag = false;
  record_.number = 0;
  record_.path.clear();
  record_.bytes.clear();
  return record_;
}

void PortRecorder::Add() {
  if (poll_pending_) {
    poll_pending_ = false;
    Record poll;
    poll.kind = RecordKind::kPoll;
    poll.tick = poll_tick_;
    poll.time = poll_time_;
    AppendRecord(poll, &pending_);
  }
  AppendRecord(record_, &pending_);
  if (in_open_) open_records_.push_back(record_);
  // Outside a message nothing gathers the records: each goes out at once.
  if (depth_ == 0) Flush();
}

void PortRecorder::Flush() {
  if (pending_.empty()) return;
  output_(pending_);
  pending_.clear();
}

void PortRecorder::BeginCommand(int command) {
  {
    std::lock_guard<std::mutex> lock(time_mutex_);
    ++depth_;
  }
  command_ = command;
  if (command == CMD_OPEN) {
    in_open_ = true;
    open_records_.clear();
  }
  Begin(RecordKind::kMenu).number = command;
  // A program's own menu items (the ledger window) are no command of the monitor: nothing of
  // them reaches the port, and a record of them would be one that no replay can read.
  if (MenuName(command) == nullptr) return;
  Add();
  if (command == CMD_START) {
    // The settings the run is made with, for whoever reads the recording.
    record_.kind = RecordKind::kSettings;
    record_.settings.port = g_state.port_number;
    const bool known = g_state.baud_index >= 0 && g_state.baud_index < kBaudRateCount;
    record_.settings.baud = known ? static_cast<int>(BaudRates[g_state.baud_index]) : 0;
    record_.settings.sensors = g_state.sensor_count;
    record_.settings.save = g_state.save_log;
    Add();
  }
}

void PortRecorder::BeginPoll() {
  command_ = 0;
  poll_pending_ = true;
  poll_tick_ = clock_->TickCount();
  poll_time_ = clock_->Now();
  std::lock_guard<std::mutex> lock(time_mutex_);
  ++depth_;
  tick_ = poll_tick_;
  time_ = poll_time_;
}

void PortRecorder::EndDispatch() {
  {
    std::lock_guard<std::mutex> lock(time_mutex_);
    if (depth_ == 0) return;
    if (--depth_ > 0) return;
  }
  poll_pending_ = false;
  if (command_ == CMD_OPEN && g_state.port_open == 1) {
    // The probe's outcome, as the open command left it.
    record_.kind = RecordKind::kReceiver;
    record_.flag = g_state.rx_skip != 0;
    Add();
  }
  in_open_ = false;
  Flush();
}

void PortRecorder::Stalled(std::uint32_t tick, const LocalTime& time, std::uint32_t late_ms) {
  // At the time the monitor read for it, where its clock already stands: a replay that takes
  // the record leaves the clock where the recorded monitor's was.
  Begin(RecordKind::kStall, tick, time).number = late_ms;
  Add();
}

PortHandle PortRecorder::Open(int port_number) {
  const PortHandle handle = port_->Open(port_number);
  Begin(handle == kInvalidPort ? RecordKind::kOpenFailed : RecordKind::kOpen);
  record_.number = port_number;
  record_.path = path_of_(port_number);
  Add();
  waiting_ = -1;
  return handle;
}

PortHandle PortRecorder::Reopen(int port_number) {
  const PortHandle handle = port_->Reopen(port_number);
  // A reopen that fails is the usual answer while the device is away: not recorded.
  if (handle == kInvalidPort) return handle;
  Begin(RecordKind::kReopen).number = port_number;
  record_.path = path_of_(port_number);
  Add();
  waiting_ = -1;
  return handle;
}

int PortRecorder::SetBaud(PortHandle port, std::uint32_t baud) {
  const int result = port_->SetBaud(port, baud);
  Begin(RecordKind::kBaud).number = baud;
  record_.flag = result == 0;
  Add();
  return result;
}

int PortRecorder::WaitingCount(PortHandle port) {
  const int waiting = port_->WaitingCount(port);
  if (waiting < 0) {
    Begin(RecordKind::kLost).flag = false;
    Add();
  }
  waiting_ = waiting;
  return waiting;
}

int PortRecorder::LostInput(PortHandle port) {
  const int lost = port_->LostInput(port);
  if (lost != 0) {
    Begin(RecordKind::kOverrun);
    Add();
  }
  return lost;
}

int PortRecorder::Read(PortHandle port, std::uint8_t* dst, std::uint32_t count) {
  const int n = port_->Read(port, dst, count);
  if (n < 0) {
    Begin(RecordKind::kLost).flag = true;
    Add();
  } else if (n > 0) {
    Begin(RecordKind::kRead).number = waiting_;
    // A port that claims more than it was asked for put no more than that into dst.
    const std::uint32_t kept = static_cast<std::uint32_t>(n) < count ? n : count;
    record_.bytes.assign(dst, dst + kept);
    Add();
  }
  waiting_ = -1;
  return n;
}

void PortRecorder::Write(const std::uint8_t* src, int written) {
  if (written <= 0) return;
  Begin(RecordKind::kWrite).bytes.assign(src, src + written);
  Add();
}

int PortRecorder::WriteOverlapped(PortHandle port, const std::uint8_t* src, std::uint32_t count) {
  const int written = port_->WriteOverlapped(port, src, count);
  Write(src, written < static_cast<int>(count) ? written : static_cast<int>(count));
  return written;
}

int PortRecorder::WritePlain(PortHandle port, const std::uint8_t* src, std::uint32_t count) {
  const int written = port_->WritePlain(port, src, count);
  Write(src, written < static_cast<int>(count) ? written : static_cast<int>(count));
  return written;
}

void PortRecorder::Close(PortHandle port) {
  port_->Close(port);
  Begin(RecordKind::kClose);
  Add();
}

std::uint32_t PortRecorder::TickCount() {
  {
    std::lock_guard<std::mutex> lock(time_mutex_);
    if (depth_ > 0) return tick_;
  }
  return clock_->TickCount();
}

LocalTime PortRecorder::Now() {
  {
    std::lock_guard<std::mutex> lock(time_mutex_);
    if (depth_ > 0) return time_;
  }
  return clock_->Now();
}
