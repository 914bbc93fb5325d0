// The monitor's records (record_stream.h) as JSON Lines on an output (line_output.h): one
// record per line, each written out as it comes.
//
// The poll path never waits for the reader. A file on a disk is written at once (to the page
// cache) through AppendFile (line_output.h): flushed to the device at most once a second and at
// the end; while the disk is full its records are skipped whole and counted, told once, and the
// first record that gets through again follows a "records_skipped" record. Anything else (a
// pipe, a terminal, a socket) is written only as far as it takes bytes without waiting, at most
// PIPE_BUF bytes per write once it is writable; what it does not take yet waits in memory (up to
// kPendingLimit bytes) and goes out at the next record or Tick. A record that does not fit there
// is dropped whole, never cut, and counted; once records get through again a "records_dropped"
// record says how many were lost. A write error (the reader gone: EPIPE) ends such an output: it
// is reported once and every later record counts as dropped. SIGPIPE must be ignored by the
// program, as the front ends do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "app/clock.h"
#include "outputs/event_record.h"
#include "outputs/line_output.h"

class JsonLinesWriter : public RecordListener {
 public:
  static constexpr std::size_t kPendingLimit = std::size_t{1} << 20;
  // How long the destructor waits at most for a slow reader to take what is still pending.
  static constexpr int kFinalWaitMs = 1000;

  // output stays the caller's and must outlive the writer. report is told once, in one line,
  // when the output fails (a file: when the disk refuses records, and when it takes them again).
  JsonLinesWriter(LineOutput* output, Clock* clock,
                  std::function<void(const std::string&)> report = {});
  ~JsonLinesWriter() override;
  JsonLinesWriter(const JsonLinesWriter&) = delete;
  JsonLinesWriter& operator=(const JsonLinesWriter&) = delete;

  void OnRecord(const EventRecord& record) override {
    WriteHeader();
    Put(record.text);
  }
  // The output (a new file, or one appended to) is to begin with a header record: make gives
  // its text just before the next record, so that it tells what holds then.
  void HeaderDue(std::function<std::string()> make) { header_ = std::move(make); }
  // Writes on what is pending (from the front end's loop, while anything is).
  void Tick() { Pump(); }
  // Batched, records wait until Tick (or until half the room is taken) and then go out in
  // large writes: for a recording replayed as fast as the machine goes, whose records come far
  // faster than anyone reads them one by one. Unbatched, what waits goes out at once.
  void SetBatched(bool batched) {
    batched_ = batched;
    if (!batched) Pump();
  }
  // Waits up to timeout_ms for the reader to take everything pending. True when nothing is left.
  bool Drain(int timeout_ms);

  // Every record offered is written, dropped or pending: records written out in full (the
  // "records_dropped" and "records_skipped" notes among them), records lost (no room, or the output
  // failed), and the bytes still waiting.
  std::uint64_t written() const { return written_; }
  std::uint64_t dropped() const { return dropped_; }
  std::size_t pending() const { return pending_.size() - sent_; }
  int error() const { return error_; }  // the error number of the failure, 0 while none

 private:
  // Takes one record (a line without its end) whole, or drops it.
  void Put(const std::string& record);
  void WriteHeader();
  void Append(const std::string& record);
  // Writes what is pending as far as the output takes it without waiting.
  void Pump();
  void Fail(int error);

  LineOutput* output_;
  Clock* clock_;
  std::function<void(const std::string&)> report_;
  std::function<std::string()> header_;  // while one is due
  std::size_t chunk_;                    // most bytes per write
  std::string pending_;
  std::size_t sent_ = 0;  // of pending_
  bool batched_ = false;
  std::uint64_t written_ = 0;
  std::uint64_t dropped_ = 0;
  std::uint64_t unreported_drops_ = 0;
  int error_ = 0;
};
