#include "outputs/json_lines_writer.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "outputs/json_events.h"

JsonLinesWriter::JsonLinesWriter(LineOutput* output, Clock* clock,
                                 std::function<void(const std::string&)> report)
    : output_(output),
      clock_(clock),
      report_(std::move(report)),
      chunk_(output->chunk(kPendingLimit)) {
  // Room for the limit beyond what was sent but not yet moved out (see Append).
  pending_.reserve(2 * kPendingLimit);
  output_->SetFileHooks(
      report_, [this](std::uint64_t records, std::uint64_t bytes, const std::string& why) {
        return RecordsSkippedJson({clock_->TickCount(), clock_->Now()}, records, bytes, why);
      });
}

JsonLinesWriter::~JsonLinesWriter() {
  Drain(kFinalWaitMs);
  // The file may still tell, as it closes, what a full disk cost in all.
  output_->SetFileHooks(report_, nullptr);
}

void JsonLinesWriter::Fail(int error) {
  error_ = error;
  // What was waiting is lost: the records not yet written in full.
  dropped_ += static_cast<std::uint64_t>(
      std::count(pending_.begin() + static_cast<std::ptrdiff_t>(sent_), pending_.end(), '\n'));
  pending_.clear();
  sent_ = 0;
  if (report_) report_("JSON Lines output stopped: " + LineOutput::ErrorText(error));
}

void JsonLinesWriter::Pump() {
  if (output_->appended()) {
    // A file takes whole records at once, or skips them (and tells why itself): what waits
    // never outlives the call.
    if (sent_ == pending_.size()) return;
    const auto from = pending_.begin() + static_cast<std::ptrdiff_t>(sent_);
    const auto records = static_cast<std::uint64_t>(std::count(from, pending_.end(), '\n'));
    const bool after_gap = output_->skipping();
    if (output_->Append(pending_.data() + sent_, pending_.size() - sent_)) {
      written_ += records + (after_gap ? 1 : 0);
    } else {
      dropped_ += records;
    }
    pending_.clear();
    sent_ = 0;
    return;
  }
  while (error_ == 0 && sent_ < pending_.size()) {
    const std::size_t count = std::min(chunk_, pending_.size() - sent_);
    int error = 0;
    const long n = output_->Write(pending_.data() + sent_, count, &error);
    if (n < 0) {
      Fail(error);
      return;
    }
    if (n == 0) break;  // full: the rest waits
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

void JsonLinesWriter::WriteHeader() {
  if (!header_) return;
  const std::function<std::string()> make = std::move(header_);
  header_ = nullptr;
  // The header stays first: a note of records lost before it goes with the record after it.
  const std::uint64_t lost_before = unreported_drops_;
  unreported_drops_ = 0;
  Put(make());
  unreported_drops_ += lost_before;
}

void JsonLinesWriter::Put(const std::string& record) {
  if (error_ != 0) {
    ++dropped_;
    return;
  }
  if (!batched_ || pending() + record.size() >= kPendingLimit / 2) Pump();
  if (error_ != 0) {
    ++dropped_;
    return;
  }
  const auto fits = [this](std::size_t bytes) { return pending() + bytes + 1 <= kPendingLimit; };
  if (unreported_drops_ > 0) {
    const std::string note =
        RecordsDroppedJson({clock_->TickCount(), clock_->Now()}, unreported_drops_);
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
  if (!batched_) Pump();
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
    output_->WaitWritable(static_cast<int>(left));
  }
}
