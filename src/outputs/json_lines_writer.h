// The monitor's event stream as JSON Lines (records in json_events.h) on a file descriptor: one
// record per line, each written out as it happens, and the ledger's record every 60 s of a run
// and at its end.
//
// The poll path never waits for the reader. A regular file is written at once (to the page
// cache). Anything else (a pipe, a terminal, a socket) is written only as far as it takes bytes
// without waiting, at most PIPE_BUF bytes per write after poll() says it is writable; what it
// does not take yet waits in memory (up to kPendingLimit bytes) and goes out at the next record
// or Tick. A record that does not fit there is dropped whole, never cut, and counted; once
// records get through again a "records_dropped" record says how many were lost. A write error
// (the reader gone: EPIPE, a full disk) ends the output: it is reported once and every later
// record counts as dropped. SIGPIPE must be ignored by the program, as the front ends do.
//
// The writer reads the ledger it is given on the monitor's thread (Tick and the run's end). It
// tells the ledger of a run's end itself before it writes the figures at the end, so the two may
// be added to the fanout in either order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "app/clock.h"
#include "ledger/ledger.h"
#include "reception/reading_sink.h"

class JsonLinesWriter : public ReadingSink {
 public:
  static constexpr std::uint32_t kLedgerPeriodMs = 60000;
  static constexpr std::size_t kPendingLimit = std::size_t{1} << 20;
  // How long the destructor waits at most for a slow reader to take what is still pending.
  static constexpr int kFinalWaitMs = 1000;

  // fd stays the caller's (not closed here). ledger may be null: then no ledger records. report
  // is told once, in one line, when the output fails.
  JsonLinesWriter(int fd, Clock* clock, Ledger* ledger,
                  std::function<void(const std::string&)> report = {});
  ~JsonLinesWriter() override;
  JsonLinesWriter(const JsonLinesWriter&) = delete;
  JsonLinesWriter& operator=(const JsonLinesWriter&) = delete;

  // Called from the front end's loop: writes on what is pending, and the ledger's record when
  // another 60 s of the run have passed.
  void Tick(std::uint32_t now_tick);
  // Writes the ledger's record now (for a front end's command that asks for it); nothing
  // without a ledger.
  void WriteLedgerRecord(std::uint32_t now_tick) {
    if (ledger_ != nullptr) WriteLedger(now_tick);
  }
  // Waits up to timeout_ms for the reader to take everything pending. True when nothing is left.
  bool Drain(int timeout_ms);

  // Every record offered is written, dropped or pending: records written out in full (the
  // "records_dropped" notes among them), records lost (no room, or the output failed), and the
  // bytes still waiting.
  std::uint64_t written() const { return written_; }
  std::uint64_t dropped() const { return dropped_; }
  std::size_t pending() const { return pending_.size() - sent_; }
  int error() const { return error_; }  // errno of the failure, 0 while none

  void OnReading(const ReadingEvent& reading) override;
  void OnError(const ErrorEvent& error) override;
  void OnRunStarted() override;
  void OnExported(const char* file_name) override;
  void OnRunStopped(std::uint32_t tick) override;
  void OnPortLost(const PortEvent& event) override;
  void OnPortBack(const PortEvent& event) override;

 private:
  LedgerMoment Now();
  void WriteLedger(std::uint32_t at_tick);
  // Takes one record (a line without its end) whole, or drops it.
  void Put(const std::string& record);
  void Append(const std::string& record);
  // Writes what is pending as far as the descriptor takes it without waiting.
  void Pump();
  void Fail(int error);

  int fd_;
  Clock* clock_;
  Ledger* ledger_;
  std::function<void(const std::string&)> report_;
  bool regular_;       // a regular file: no poll before a write
  std::size_t chunk_;  // most bytes per write
  std::string pending_;
  std::size_t sent_ = 0;  // of pending_
  std::uint64_t written_ = 0;
  std::uint64_t dropped_ = 0;
  std::uint64_t unreported_drops_ = 0;
  int error_ = 0;
  bool run_active_ = false;
  std::uint32_t run_start_tick_ = 0;
  std::uint32_t next_ledger_ms_ = kLedgerPeriodMs;  // of run time
  LedgerSnapshot snapshot_;
};
