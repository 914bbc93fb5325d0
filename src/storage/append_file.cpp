#include "storage/append_file.h"

#include <chrono>
#include <utility>
#include <vector>

namespace {

// The directory part of a name, "." for a name without one.
std::string DirectoryOf(const std::string& name) {
  const std::size_t slash = name.find_last_of("/\\");
  if (slash == std::string::npos) return ".";
  return slash == 0 ? name.substr(0, 1) : name.substr(0, slash);
}

// Whether a non-empty file of lines ends within a line (a crash tore its last one).
bool EndsWithinLine(FileStore& files, const std::string& name) {
  const FileHandle file = files.OpenRead(name.c_str());
  if (file == kInvalidFile) return false;
  const std::int64_t size = files.Size(file);
  std::uint8_t last = '\n';
  if (size > 0) files.ReadAt(file, size - 1, &last, 1);
  files.Close(file);
  return last != '\n';
}

}  // namespace

bool AppendFile::Open(FileStore* files, const std::string& name, Options options,
                      CreateFailure* why) {
  Close();
  files_ = files;
  name_ = name;
  directory_ = DirectoryOf(name);
  options_ = std::move(options);
  failure_.clear();
  line_end_due_ = options_.lines && !options_.must_be_new && EndsWithinLine(*files, name);
  handle_ = files->OpenAppend(name.c_str(), options_.must_be_new, why);
  if (handle_ == kInvalidFile) {
    failure_ = files->LastFailure();
    return false;
  }
  if (options_.lock && !files->TryLock(handle_)) {
    failure_ = "another program is writing it";
    files->Close(handle_);
    handle_ = kInvalidFile;
    if (why != nullptr) *why = CreateFailure::kRefused;
    return false;
  }
  size_ = files->Size(handle_);
  if (size_ < 0) size_ = 0;
  skipping_ = false;
  troubled_ = false;
  steady_since_set_ = false;
  skipped_in_trouble_ = {};
  broken_ = false;
  skipped_ = {};
  flush_failure_told_ = false;
  stopping_ = false;
  unflushed_ = false;
  directory_flushed_ = false;
  flush_failure_.clear();
  // Flushing through a handle of its own: on some systems a flush holds the handle it is given,
  // and a write through the same handle would wait for it.
  sync_handle_ = files->OpenAppend(name.c_str(), false, nullptr);
  if (sync_handle_ == kInvalidFile) sync_handle_ = handle_;
  if (options_.flush_period_ms > 0) flusher_ = std::thread(&AppendFile::FlushLoop, this);
  return true;
}

bool AppendFile::Append(const std::uint8_t* bytes, std::size_t count) {
  if (handle_ == kInvalidFile) return false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!flush_failure_.empty() && !flush_failure_told_) {
      Tell("could not be flushed to the device: " + flush_failure_ +
           "; what was written since may not survive a power cut");
      flush_failure_told_ = true;
    }
  }
  if (broken_) {
    ++skipped_.records;
    skipped_.bytes += count;
    ++skipped_in_trouble_.records;
    skipped_in_trouble_.bytes += count;
    return false;
  }
  // What goes out in the one write: a line end after a torn line, the gap record after skipped
  // records, then the record itself.
  std::vector<std::uint8_t> joined;
  const std::uint8_t* data = bytes;
  std::size_t length = count;
  const std::string gap = skipping_ && options_.gap ? options_.gap(skipped_) : std::string();
  if (line_end_due_ || !gap.empty()) {
    if (line_end_due_) joined.push_back('\n');
    joined.insert(joined.end(), gap.begin(), gap.end());
    joined.insert(joined.end(), bytes, bytes + count);
    data = joined.data();
    length = joined.size();
  }
  const int written = files_->Write(handle_, data, static_cast<int>(length));
  if (written == static_cast<int>(length)) {
    size_ += written;
    line_end_due_ = false;
    skipping_ = false;
    skipped_ = {};
    if (troubled_) {
      const std::uint32_t now = Milliseconds();
      if (!steady_since_set_) {
        steady_since_ = now;
        steady_since_set_ = true;
      }
      if (now - steady_since_ >= options_.steady_ms) TellResumed("written again");
    }
    // Only the first record since the last flush wakes the helper: it sleeps out its period
    // otherwise, and waking it for every record would cost the caller a system call each.
    bool wake = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      wake = !unflushed_;
      unflushed_ = true;
    }
    if (wake) wake_.notify_one();
    return true;
  }
  failure_ = files_->LastFailure();
  if (failure_.empty()) failure_ = "the write fell short";
  // A part of the record went in: it is cut off again, so that the next record follows a whole
  // one. Where that fails, nothing more may follow it.
  if (written > 0 && !files_->Truncate(handle_, size_)) {
    broken_ = true;
    Tell("cannot be written (" + failure_ + "), and a part of a record written meanwhile could " +
         "not be cut off: nothing more is written to it until it is opened anew");
  } else if (!troubled_) {
    Tell("cannot be written: " + failure_ +
         "; the monitor goes on, and writing resumes by itself once there is room");
  }
  troubled_ = true;
  steady_since_set_ = false;
  skipping_ = true;
  ++skipped_.records;
  skipped_.bytes += count;
  ++skipped_in_trouble_.records;
  skipped_in_trouble_.bytes += count;
  return false;
}

bool AppendFile::Close() {
  if (handle_ == kInvalidFile) return true;
  StopFlushing();
  if (troubled_) TellResumed("closed");
  bool whole = !skipping_ && !broken_ && flush_failure_.empty();
  if (!directory_flushed_ && !files_->SyncDirectory(directory_.c_str())) whole = false;
  // Closing flushes what the file holds to the device.
  return Release() && whole;
}

void AppendFile::Abandon() {
  if (handle_ == kInvalidFile) return;
  StopFlushing();
  Release();
}

bool AppendFile::Release() {
  bool closed = true;
  if (sync_handle_ != handle_) closed = files_->Close(sync_handle_);
  closed = files_->Close(handle_) && closed;
  handle_ = kInvalidFile;
  sync_handle_ = kInvalidFile;
  return closed;
}

void AppendFile::StopFlushing() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  if (flusher_.joinable()) flusher_.join();
}

void AppendFile::FlushLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  const auto period = std::chrono::milliseconds(options_.flush_period_ms);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || unflushed_; });
    if (stopping_) return;
    unflushed_ = false;
    const bool directory_due = !directory_flushed_;
    lock.unlock();
    bool flushed = files_->SyncData(sync_handle_);
    if (flushed && directory_due) flushed = files_->SyncDirectory(directory_.c_str());
    const std::string why = flushed ? std::string() : files_->LastFailure();
    lock.lock();
    if (flushed && directory_due) directory_flushed_ = true;
    if (!flushed && flush_failure_.empty()) flush_failure_ = why.empty() ? "flush failed" : why;
    // At most one flush a period: the next waits for the period's end, or for the close.
    wake_.wait_for(lock, period, [this] { return stopping_; });
  }
}

void AppendFile::TellResumed(const char* what) {
  Tell(std::string(what) + "; " + std::to_string(skipped_in_trouble_.records) + " records (" +
       std::to_string(skipped_in_trouble_.bytes) + " bytes) could not be written since it failed");
  troubled_ = false;
  skipped_in_trouble_ = {};
}

std::uint32_t AppendFile::Milliseconds() const {
  if (options_.clock != nullptr) return options_.clock->TickCount();
  return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

void AppendFile::Tell(const std::string& text) const {
  if (options_.report) options_.report(name_ + ": " + text);
}
