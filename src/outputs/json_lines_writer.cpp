#include "outputs/json_lines_writer.h"

#include <limits.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

#include "app/monitor_state.h"
#include "outputs/json_events.h"

JsonLinesWriter::JsonLinesWriter(int fd, Clock* clock, Ledger* ledger,
                                 std::function<void(const std::string&)> report)
    : fd_(fd), clock_(clock), ledger_(ledger), report_(std::move(report)) {
  struct stat st {};
  regular_ = ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
  // A regular file takes everything at once; a pipe that poll() calls writable takes PIPE_BUF
  // bytes without waiting.
  chunk_ = regular_ ? kPendingLimit : PIPE_BUF;
  // Room for the limit beyond what was sent but not yet moved out (see Append).
  pending_.reserve(2 * kPendingLimit);
}

JsonLinesWriter::~JsonLinesWriter() {
  Drain(kFinalWaitMs);
}

LedgerMoment JsonLinesWriter::Now() {
  return {clock_->TickCount(), clock_->Now()};
}

void JsonLinesWriter::Fail(int error) {
  error_ = error;
  // What was waiting is lost: the records not yet written in full.
  dropped_ += static_cast<std::uint64_t>(
      std::count(pending_.begin() + static_cast<std::ptrdiff_t>(sent_), pending_.end(), '\n'));
  pending_.clear();
  sent_ = 0;
  if (report_) report_(std::string("JSON Lines output stopped: ") + std::strerror(error));
}

void JsonLinesWriter::Pump() {
  while (error_ == 0 && sent_ < pending_.size()) {
    if (!regular_) {
      pollfd p{fd_, POLLOUT, 0};
      const int ready = ::poll(&p, 1, 0);
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0) break;  // full: the rest waits (an error shows in the write below)
    }
    const std::size_t count = std::min(chunk_, pending_.size() - sent_);
    const ssize_t n = ::write(fd_, pending_.data() + sent_, count);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) break;
      Fail(errno);
      return;
    }
    const auto from = pending_.begin() + static_cast<std::ptrdiff_t>(sent_);
    written_ += static_cast<std::uint64_t>(std::count(from, from + n, '\n'));
    sent_ += static_cast<std::size_t>(n);
  }
  if (sent_ == pending_.size()) {
    pending_.clear();
    sent_ = 0;
  }
}

void JsonLinesWriter::Append(const std::string& record) {
  // What was sent leaves the buffer only now and then, so that a slow reader costs no copy of
  // the whole buffer per record; the buffer stays within the room reserved for it.
  if (sent_ >= kPendingLimit) {
    pending_.erase(0, sent_);
    sent_ = 0;
  }
  pending_ += record;
  pending_ += '\n';
}

void JsonLinesWriter::Put(const std::string& record) {
  if (error_ != 0) {
    ++dropped_;
    return;
  }
  Pump();
  if (error_ != 0) {
    ++dropped_;
    return;
  }
  const auto fits = [this](std::size_t bytes) { return pending() + bytes + 1 <= kPendingLimit; };
  if (unreported_drops_ > 0) {
    const std::string note = RecordsDroppedJson(Now(), unreported_drops_);
    // The note goes only with the record it precedes, so that it is never the last word of a
    // reader that is still stuck.
    if (fits(note.size() + 1 + record.size())) {
      Append(note);
      unreported_drops_ = 0;
    }
  }
  if (unreported_drops_ == 0 && fits(record.size())) {
    Append(record);
  } else {
    ++dropped_;
    ++unreported_drops_;
  }
  Pump();
}

bool JsonLinesWriter::Drain(int timeout_ms) {
  using std::chrono::steady_clock;
  const steady_clock::time_point deadline =
      steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    Pump();
    if (pending() == 0) return true;
    if (error_ != 0) return false;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - steady_clock::now())
            .count();
    if (left <= 0) return false;
    pollfd p{fd_, POLLOUT, 0};
    (void)::poll(&p, 1, static_cast<int>(left));
  }
}

void JsonLinesWriter::WriteLedger(std::uint32_t at_tick) {
  ledger_->Snapshot(at_tick, snapshot_);
  Put(LedgerJson(snapshot_, clock_->Now()));
}

void JsonLinesWriter::Tick(std::uint32_t now_tick) {
  Pump();
  if (ledger_ == nullptr || !run_active_) return;
  const std::uint32_t elapsed = now_tick - run_start_tick_;
  if (elapsed < next_ledger_ms_) return;
  // One record however many periods passed since the last look; the next is due at the next
  // whole period of the run.
  next_ledger_ms_ = (elapsed / kLedgerPeriodMs + 1) * kLedgerPeriodMs;
  WriteLedger(now_tick);
}

void JsonLinesWriter::OnReading(const ReadingEvent& reading) {
  Put(ReadingJson(reading));
}

void JsonLinesWriter::OnError(const ErrorEvent& error) {
  Put(ErrorJson(error));
}

void JsonLinesWriter::OnRunStarted() {
  const LedgerMoment at = Now();
  run_active_ = true;
  run_start_tick_ = at.tick;
  next_ledger_ms_ = kLedgerPeriodMs;
  Put(RunStartedJson(at, g_state.sensor_count, ledger_ != nullptr && ledger_->Run().sequence_byte));
}

void JsonLinesWriter::OnExported(const char* file_name) {
  Put(ExportJson(Now(), file_name));
}

void JsonLinesWriter::OnRunStopped(std::uint32_t tick) {
  if (!run_active_) return;
  run_active_ = false;
  Put(RunStoppedJson({tick, clock_->Now()}, tick - run_start_tick_));
  if (ledger_ == nullptr) return;
  // The ledger may hear of the end after this listener; a second telling changes nothing.
  ledger_->OnRunStopped(tick);
  WriteLedger(tick);
}

void JsonLinesWriter::OnPortLost(const PortEvent& event) {
  Put(PortLostJson(event));
}

void JsonLinesWriter::OnPortBack(const PortEvent& event) {
  Put(PortBackJson(event));
}
