#include "recording/recording_file.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace {

std::uint64_t LineCount(const std::string& text, std::size_t from = 0) {
  return static_cast<std::uint64_t>(
      std::count(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(), '\n'));
}

}  // namespace

RecordingFile::RecordingFile(FileStore* files, FileHandle file, std::string name, GapLine gap_line,
                             Report report, int flush_ms)
    : files_(files),
      file_(file),
      name_(std::move(name)),
      gap_line_(std::move(gap_line)),
      report_(std::move(report)),
      flush_ms_(flush_ms),
      writer_([this] { Loop(); }) {}

void RecordingFile::Put(const std::string& lines) {
  TellChanges();
  std::lock_guard<std::mutex> lock(mutex_);
  if (closed_) return;
  if (unmarked_records_ > 0 && !failing_) {
    // The disk takes writes again: the place of what is missing is marked before anything else.
    waiting_ += gap_line_(unmarked_records_, unmarked_bytes_);
    unmarked_records_ = unmarked_bytes_ = 0;
  }
  if (failing_ || waiting_.size() + lines.size() > kPendingLimit) {
    const std::uint64_t count = LineCount(lines);
    unmarked_records_ += count;
    unmarked_bytes_ += lines.size();
    missing_ += count;
    return;
  }
  waiting_ += lines;
}

void RecordingFile::TellChanges() {
  if (!report_) return;
  std::string text;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (failing_ && !told_failing_) {
      told_failing_ = true;
      text = "recording " + name_ +
             ": the disk refuses writes (is it full?); what comes meanwhile is missing from "
             "the recording, which goes on once there is room";
    } else if (!failing_ && told_failing_) {
      told_failing_ = false;
      text = "recording " + name_ + ": writing again; " + std::to_string(missing_) +
             " records missing so far (a gap record marks where)";
    }
  }
  if (!text.empty()) report_(text);
}

void RecordingFile::Loop() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stop_) {
    wake_.wait_for(lock, std::chrono::milliseconds(flush_ms_), [this] { return stop_; });
    WriteOut(lock);
  }
  WriteOut(lock);
}

void RecordingFile::WriteOut(std::unique_lock<std::mutex>& lock) {
  std::string lines;
  lines.swap(waiting_);
  lock.unlock();
  std::string out = std::move(retry_);
  retry_.clear();
  out += lines;
  std::size_t done = 0;
  while (done < out.size()) {
    const int chunk = static_cast<int>(std::min<std::size_t>(out.size() - done, 1u << 20));
    const int n =
        files_->Write(file_, reinterpret_cast<const std::uint8_t*>(out.data() + done), chunk);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  const bool refused = done < out.size();
  std::uint64_t lost_records = 0;
  std::uint64_t lost_bytes = 0;
  if (refused) {
    // What is written of the line it stopped in must be finished, or the file would hold half a
    // record; the lines after it are counted as missing.
    std::size_t line_end = out.find('\n', done);
    line_end = line_end == std::string::npos ? out.size() : line_end + 1;
    retry_ = out.substr(done, line_end - done);
    lost_records = LineCount(out, line_end);
    lost_bytes = out.size() - line_end;
  }
  const bool wrote = done > 0;
  if (wrote && !refused) files_->SyncData(file_);
  lock.lock();
  if (refused) {
    failing_ = true;
    unmarked_records_ += lost_records;
    unmarked_bytes_ += lost_bytes;
    missing_ += lost_records;
  } else {
    failing_ = false;
  }
}

bool RecordingFile::Close() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return whole_;
  }
  // A gap that the disk left behind is marked even when nothing follows it.
  Put(std::string());
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
    closed_ = true;
  }
  wake_.notify_one();
  writer_.join();
  // The writer is gone: what is left is this thread's.
  if (retry_.empty() && unmarked_records_ > 0) {
    // The disk came back with the last write: the gap still gets its record.
    const std::string gap = gap_line_(unmarked_records_, unmarked_bytes_);
    files_->Write(file_, reinterpret_cast<const std::uint8_t*>(gap.data()),
                  static_cast<int>(gap.size()));
  }
  if (!retry_.empty()) ++missing_;  // cut: a replay says the file is torn there
  const bool flushed = files_->Close(file_);
  std::lock_guard<std::mutex> lock(mutex_);
  whole_ = flushed && missing_ == 0;
  return whole_;
}

bool RecordingFile::failing() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return failing_;
}

std::uint64_t RecordingFile::missing() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return missing_;
}
