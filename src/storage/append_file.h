// A file that the program appends records to for as long as a run lasts (the run's journal, and
// any other file it keeps adding to: event records, table rows, a recording of raw bytes), on
// every platform through the core's FileStore, so that a crash or a power cut costs at most the
// last second of it:
//
//  - Append puts one whole record (or several) at the end with one write: a write to the
//    system's cache is all the caller ever waits for. A helper thread flushes the file to the
//    device (and, the first time, its directory, so that its name survives too) at most once a
//    flush period, and Close flushes once more: a flush that takes seconds on a slow card never
//    delays the caller.
//  - A write that the disk refuses (full, or failing) leaves no part of its record in the file:
//    the file is cut back to its last whole record. The problem is told once; the caller goes
//    on, and every later Append tries again, so that writing resumes by itself once there is
//    room. The first record that gets through then follows the owner's gap record, which says
//    what was skipped, in the same write. That writing resumed is told once it has held for a
//    while (a disk that hovers at full takes some records and refuses others: that is one
//    stretch of trouble, told once), and at the close how much was skipped in all.
//  - A file of text lines that a crash left with a torn last line is given a line end before
//    its first new record, so that no record ever continues a torn one on its line.
//
// Append and Close belong to one thread (the monitor's); what is told goes through the report on
// that thread too.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "app/clock.h"
#include "settings/file_store.h"

class AppendFile {
 public:
  static constexpr std::uint32_t kFlushPeriodMs = 1000;
  static constexpr std::uint32_t kSteadyMs = 5000;

  // What a full disk made the file skip since the last record that got through.
  struct Skipped {
    std::uint64_t records = 0;  // Append calls
    std::uint64_t bytes = 0;
  };
  using Report = std::function<void(const std::string& text)>;
  using GapRecord = std::function<std::string(const Skipped& skipped)>;

  struct Options {
    bool must_be_new = false;  // the name must be free; else an existing file is appended to
    bool lines = false;        // a file of text lines ended by LF: a torn last line is ended
    bool lock = false;         // holds the mark of use (FileStore::TryLock) while open
    Report report;             // told of problems, one line each, naming the file
    GapRecord gap;             // the record put before the first one after skipped ones
    std::uint32_t flush_period_ms = kFlushPeriodMs;
    // How long writes must get through before their resumption is told, by clock (the
    // system's steady clock without one).
    std::uint32_t steady_ms = kSteadyMs;
    Clock* clock = nullptr;
  };

  AppendFile() = default;
  ~AppendFile() { Close(); }
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  // Opens name (relative to the current directory) for appending. False when it cannot be
  // opened (*why says whether the name was taken, failure() why); nothing is told then.
  bool Open(FileStore* files, const std::string& name, Options options,
            CreateFailure* why = nullptr);
  // Appends count bytes in one write. True when they are in the file; false when they were
  // skipped (the file is not open, or the disk refused them).
  bool Append(const std::uint8_t* bytes, std::size_t count);
  bool Append(const std::string& record) {
    return Append(reinterpret_cast<const std::uint8_t*>(record.data()), record.size());
  }
  // Flushes to the device and closes. False when something written never reached the device
  // (or was skipped since the last record that got through).
  bool Close();
  // Lets go of the file as a process that dies would: nothing more is written or flushed.
  void Abandon();

  bool is_open() const { return handle_ != kInvalidFile; }
  const std::string& name() const { return name_; }
  // Bytes in the file: all of them whole records.
  std::int64_t size() const { return size_; }
  bool skipping() const { return skipping_; }
  // Why the last open or write failed, in the system's words.
  const std::string& failure() const { return failure_; }

 private:
  void FlushLoop();
  // Stops the helper thread.
  void StopFlushing();
  void Tell(const std::string& text) const;
  std::uint32_t Milliseconds() const;
  // Says that the stretch of trouble is over, and what it cost.
  void TellResumed(const char* what);
  // Closes both handles; false when a close failed to flush.
  bool Release();

  FileStore* files_ = nullptr;
  std::string name_;
  std::string directory_;
  Options options_;
  FileHandle handle_ = kInvalidFile;
  FileHandle sync_handle_ = kInvalidFile;  // the helper thread's own handle of the file
  std::int64_t size_ = 0;
  bool line_end_due_ = false;
  bool skipping_ = false;
  bool troubled_ = false;  // a failure was told, its end not yet
  bool steady_since_set_ = false;
  std::uint32_t steady_since_ = 0;  // the first write that got through after the last failure
  Skipped skipped_in_trouble_;
  bool broken_ = false;  // a torn record could not be cut back: nothing more is appended
  Skipped skipped_;
  std::string failure_;
  bool flush_failure_told_ = false;

  // Shared with the helper thread.
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  bool unflushed_ = false;
  bool directory_flushed_ = false;
  std::string flush_failure_;  // why a flush failed, until it is told
  std::thread flusher_;
};
