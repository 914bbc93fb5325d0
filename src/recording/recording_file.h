// The file a recording is written into, as the run goes. The monitor's thread only appends
// whole lines to memory; a helper thread writes them to the file and flushes it to the device
// once a second (and at the end), so that a poll never waits for the disk and a crash or a power
// cut costs at most the last second.
//
// A write that the disk refuses (it is full) never leaves a line cut in the file: the part of
// the line that did not fit is kept and written first once the disk takes writes again, and
// the lines that came meanwhile are counted, not kept. The first line after that is a gap
// record with their count and bytes, so a replay knows that something is missing there. The
// owner hears of the failure once, and again when the recording goes on.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "settings/file_store.h"

class RecordingFile {
 public:
  // Lines waiting for the disk beyond this are counted as missing, not kept: memory stays flat
  // whatever the disk does.
  static constexpr std::size_t kPendingLimit = std::size_t{16} << 20;
  static constexpr int kFlushMs = 1000;

  // The gap record for lines that are missing, with its LF; called on the monitor's thread.
  using GapLine = std::function<std::string(std::uint64_t records, std::uint64_t bytes)>;
  // Told on the monitor's thread, one line each.
  using Report = std::function<void(const std::string& text)>;

  // Writes into file (created by files->CreateNew; this closes it). name is for the reports.
  RecordingFile(FileStore* files, FileHandle file, std::string name, GapLine gap_line,
                Report report, int flush_ms = kFlushMs);
  ~RecordingFile() { Close(); }
  RecordingFile(const RecordingFile&) = delete;
  RecordingFile& operator=(const RecordingFile&) = delete;

  // Takes whole lines (each with its LF); on the monitor's thread, never waits for the disk.
  void Put(const std::string& lines);
  // Writes out what waits, flushes it to the device and closes the file (waiting for the disk).
  // True when the file holds every line it was given, gap records aside.
  bool Close();

  // Whether the disk refuses writes now.
  bool failing() const;
  // Lines the file does not hold (refused, or counted while the disk refused writes).
  std::uint64_t missing() const;

 private:
  void Loop();
  // Writes retry_ and then what waits; with the mutex held by lock (released while writing).
  void WriteOut(std::unique_lock<std::mutex>& lock);
  // Tells the owner what changed since it was told last; on the monitor's thread.
  void TellChanges();

  FileStore* files_;
  FileHandle file_;
  std::string name_;
  GapLine gap_line_;
  Report report_;
  int flush_ms_;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::string waiting_;  // whole lines for the writer
  bool stop_ = false;
  bool failing_ = false;
  bool told_failing_ = false;
  std::uint64_t unmarked_records_ = 0;  // missing lines that no gap record marks yet
  std::uint64_t unmarked_bytes_ = 0;
  std::uint64_t missing_ = 0;
  bool closed_ = false;
  bool whole_ = true;

  std::string retry_;  // the writer's: the rest of a line the disk refused, written first
  std::thread writer_;
};
