// The reception ledger: for each sensor of a run, how well its readings arrive. It listens to the
// monitor's events (add it to the front end's ReadingFanout) and keeps, per sensor id 0 to 31
// and for one row of refused ids (32 or more), the counts of its readings and damaged frames,
// when it was first and last heard, its intervals, gaps and values, and for the run the error
// counts and the port's outages. The figures are in ledger_figures.h.
//
// Everything is allocated when the ledger is made: an event costs a fixed amount of work and no
// allocation, whatever the run's length. The median, percentile and gap figures are worked out
// when they are asked for, in a walk over the row's fixed steps (about 7,200).
//
// A run start clears everything; after the run ends its figures stay as they were at the end
// (ages and silence measured at the end), until the next start.
//
// Threads: the ledger is not locked. Its events and every reader's call come on the monitor's
// thread; a reader on another thread gets a copy made there (Snapshot), which holds no pointer
// into the ledger.
#pragma once

#include <cstdint>
#include <memory>

#include "app/clock.h"
#include "ledger/interval_histogram.h"
#include "ledger/ledger_figures.h"
#include "reception/reading_sink.h"

class Ledger : public ReadingSink {
 public:
  // clock gives the ticks and times of a run's start and end (the events carry their own).
  // With sequence_byte, the frames' extra byte is read as each sensor's count of readings.
  explicit Ledger(Clock* clock, bool sequence_byte = false);
  ~Ledger() override;
  Ledger(const Ledger&) = delete;
  Ledger& operator=(const Ledger&) = delete;

  // What a row has counted (row 0 to 31 a sensor id, kRefusedRow the ids of 32 or more).
  const SensorTally& Tally(int row) const;
  // A row's tally and what follows from it, measured at now_tick during a run (the monitor's
  // clock, read after the events it should cover), at the run's end after it.
  SensorFigures Figures(int row, std::uint32_t now_tick) const;
  // A sensor row is watched when its id is below the run's sensor count, or when any frame was
  // counted for it in the run (a reading, or a damaged frame whose id byte names it). The
  // refused row is watched once it has counted a frame. Every counted frame is in a watched
  // row, so the watched rows add up to the run's totals.
  bool Watched(int row) const;
  // The next watched row after `row` (start with -1), or -1 when there is none.
  int NextWatched(int row) const;

  const RunFacts& Run() const { return run_; }
  RunFigures RunFiguresAt(std::uint32_t now_tick) const;
  // Every figure at once (about 0.4 ms for 33 full rows). Nothing is allocated; out is 8 KB.
  void Snapshot(std::uint32_t now_tick, LedgerSnapshot& out) const;

  void OnReading(const ReadingEvent& reading) override;
  void OnError(const ErrorEvent& error) override;
  void OnRunStarted() override;
  void OnRunStopped(std::uint32_t tick) override;
  void OnPortLost(const PortEvent& event) override;
  void OnPortBack(const PortEvent& event) override;

 private:
  struct Row {
    SensorTally tally;
    IntervalHistogram intervals;
  };

  // The tick the figures are measured at: now during a run, its end after it.
  std::uint32_t MeasuredAt(std::uint32_t now_tick) const;
  // The run's figures without the counts of watched and silent rows, which CountRow adds.
  RunFigures RunFactsAt(std::uint32_t now_tick) const;
  static void CountRow(const SensorFigures& row, RunFigures& run);
  void CountSequence(SensorTally& t, std::uint8_t sequence) const;
  void Clear();

  Clock* clock_;
  const bool sequence_byte_;
  std::unique_ptr<Row[]> rows_;  // kLedgerRows, made once
  RunFacts run_;
};
