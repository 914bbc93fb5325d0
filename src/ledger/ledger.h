// The reception ledger: for each sensor of a run, how well its readings arrive. It listens to the
// monitor's events (add it to the front end's ReadingFanout) and keeps, per sensor id 0 to 31
// and for one row of refused ids (32 or more), the counts of its readings and damaged frames,
// when it was first and last heard, its intervals, gaps and values, and for the run the error
// counts, the port's outages and the monitor's stalls. The figures are in ledger_figures.h.
//
// What the monitor could not see is not the sensor's: the readings it missed while the port
// was lost or while it stood still itself count apart (missed_outages), and a sensor is not
// called silent for them.
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
  void OnMonitorStall(const StallEvent& event) override;

 private:
  // A sensor's readings around an outage or a stall (see SensorFigures::missed_outages): from
  // its latest reading before it to the last one that joined.
  struct Span {
    bool open = false;  // readings join it
    bool any = false;   // it is the row's latest span, judged as asked until the next one
    std::uint32_t from_tick = 0;
    std::uint32_t first_tick = 0;  // its first reading after the interruption
    std::uint32_t last_tick = 0;
    std::uint32_t resumed_tick = 0;  // when the monitor read again before first_tick
    std::uint32_t until_tick = 0;    // readings up to this tick join it
    std::uint64_t readings = 0;
    std::uint64_t steps = 0;  // the count's steps over it, modulo 256 each
    // Milliseconds per step of the sensor's count before the span (0: not known yet).
    std::uint32_t step_ms = 0;
  };
  // How a span (or the silence after an interruption) splits between the monitor and the
  // sensor: the readings missed in all, and those of the sensor's own silence after the
  // monitor read again.
  struct SpanMissed {
    std::uint64_t outages = 0;
    std::uint64_t own = 0;
  };
  struct Row {
    SensorTally tally;
    IntervalHistogram intervals;
    Span span;
    // The judged spans before the latest.
    std::uint64_t outage_missed = 0;
    std::uint64_t own_missed = 0;
    std::uint64_t own_gaps = 0;
    // run's Interruptions() at the latest reading.
    std::uint64_t interruptions_seen = 0;
    // Readings of spans that came in the same poll as the one before.
    std::uint64_t span_same_poll = 0;
    // Outside spans: the milliseconds between readings of one poll, and the readings that came
    // in the poll of the row's first one (sent before it, so no part of the time measured).
    std::uint64_t same_poll_ms = 0;
    std::uint64_t first_poll_readings = 0;
    // The count's steps (the turns of long gaps included) and the time they took, for the
    // sensor's milliseconds per step.
    std::uint64_t count_steps = 0;
    std::uint64_t count_ms = 0;
  };

  // The tick the figures are measured at: now during a run, its end after it.
  std::uint32_t MeasuredAt(std::uint32_t now_tick) const;
  // The run's figures without the counts of watched and silent rows, which CountRow adds.
  RunFigures RunFactsAt(std::uint32_t now_tick) const;
  static void CountRow(const SensorFigures& row, RunFigures& run);
  // Parts of a row's figures: the gaps and readings missed of its intervals and judged spans;
  // its delivery, the readings missed since its latest split between it and the monitor; the
  // figures of its sequence count.
  static void AddGaps(const Row& r, SensorFigures& f);
  static void AddDelivery(const SensorTally& t, bool interrupted, std::uint32_t own_silence_ms,
                          SensorFigures& f);
  static void AddSequenceFigures(const Row& r, SensorFigures& f);
  // Outages and stalls of the run so far.
  std::uint64_t Interruptions() const { return run_.outages + run_.stalls; }
  // A reading outside a span: its interval and its count's step.
  void CountInterval(Row& row, std::uint32_t interval_ms);
  void CountSequence(Row& row, std::uint8_t sequence, std::uint32_t interval_ms);
  // A reading of a span: opened by the first after an interruption.
  void JoinSpan(Row& row, const ReadingEvent& reading, bool interrupted);
  void CloseSpan(Row& row);
  // Judged against the sensor's milliseconds per reading (ReadingMs).
  static SpanMissed JudgeSpan(const Span& span, std::uint32_t reading_ms);
  // The sensor's milliseconds per reading outside spans: its period, or less where several
  // readings come in one poll (a sensor faster than the polls), since a span counts readings.
  static std::uint32_t ReadingMs(const Row& row, std::uint32_t period_ms, std::uint64_t missed);
  // Readings of whole turns of the count that a gap of ms with these steps hides, judged by
  // the sensor's milliseconds per step; wrapped tells whether the gap was long enough to.
  static std::uint64_t HiddenTurns(std::uint64_t ms, std::uint64_t steps, std::uint32_t step_ms,
                                   bool* wrapped);
  static std::uint32_t StepMs(const Row& row);
  void Clear();

  Clock* clock_;
  const bool sequence_byte_;
  std::unique_ptr<Row[]> rows_;  // kLedgerRows, made once
  RunFacts run_;
  // When the monitor read again after the latest outage or stall, and until when readings
  // still catch up with it.
  std::uint32_t resumed_tick_ = 0;
  std::uint32_t catch_up_until_ = 0;
};
