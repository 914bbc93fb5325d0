// The monitor's events made into records (event_record.h) once, for every output that takes
// them (the JSON Lines, the network feed): a record per event as it happens, and the ledger's
// record every 60 s of a run and at its end. The ledger hears every event before this stream
// (outputs.h sees to it), so the figures at a run's end are those of the end.
#pragma once

#include <cstdint>

#include "app/clock.h"
#include "ledger/ledger.h"
#include "outputs/event_record.h"
#include "reception/reading_sink.h"

class RecordStream : public ReadingSink {
 public:
  static constexpr std::uint32_t kLedgerPeriodMs = 60000;
  static constexpr int kMaxListeners = 2;

  // ledger may be null: then no ledger records.
  RecordStream(Clock* clock, const Ledger* ledger) : clock_(clock), ledger_(ledger) {}

  // Listeners hear in the order added; false when all places are taken.
  bool Add(RecordListener* listener);

  // Milliseconds until the next ledger record of the run is due (0: now), -1 without a run.
  long MillisecondsToLedger(std::uint32_t now_tick) const;
  // Sends the ledger's record when another 60 s of the run have passed: one however many
  // periods passed since the last look; the next is due at the next whole period of the run.
  void Tick(std::uint32_t now_tick);
  // The ledger's record now (for a front end's command that asks for it).
  EventRecord LedgerRecord(std::uint32_t now_tick);

  void OnReading(const ReadingEvent& reading) override;
  void OnError(const ErrorEvent& error) override;
  void OnRunStarted() override;
  void OnExported(const char* file_name) override;
  void OnRunStopped(std::uint32_t tick) override;
  void OnPortLost(const PortEvent& event) override;
  void OnPortBack(const PortEvent& event) override;
  void OnMonitorStall(const StallEvent& event) override;

 private:
  void Send(const EventRecord& record);
  void Send(EventRecord::Kind kind, std::uint32_t tick, std::string text);

  Clock* clock_;
  const Ledger* ledger_;
  RecordListener* listeners_[kMaxListeners] = {};
  int count_ = 0;
  bool run_active_ = false;
  std::uint32_t run_start_tick_ = 0;
  std::uint32_t next_ledger_ms_ = kLedgerPeriodMs;  // of run time
  LedgerSnapshot snapshot_;
};
