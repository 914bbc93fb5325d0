#include "ledger/ledger.h"

#include <algorithm>

#include "app/monitor_state.h"
#include "display/counters.h"

namespace {

constexpr int kIdByte = 1;
constexpr int kExtraByte = 2;

// Plausible values: -40 to +125 degrees, 0 to 100 percent.
constexpr int kLowestTemperature = -40 * 16;
constexpr int kHighestTemperature = 125 * 16;
constexpr int kHighestHumidity = 100 * 10;

// A sensor with no median yet is silent after this long without a reading.
constexpr std::uint32_t kSilentWithoutMedianMs = 10000;

// Readings within this long of the monitor reading again after an outage or a stall still
// belong to it: what a receiver or the system kept meanwhile comes in with the first polls.
constexpr std::uint32_t kCatchUpMs = 1000;
// After a stall the backlog takes about as long as the stall to read, at most this long.
constexpr std::uint32_t kLongestCatchUpMs = 60000;
// Steps of a sensor's count before its pace is trusted to judge a gap's hidden turns.
constexpr std::uint64_t kStepsToTrust = 16;
// One turn of the count in the extra byte.
constexpr std::uint64_t kTurn = 256;

// Whether tick a comes after tick b, across a wrap of the clock.
bool After(std::uint32_t a, std::uint32_t b) {
  return static_cast<std::int32_t>(a - b) > 0;
}

bool ValidRow(int row) {
  return row >= 0 && row < kLedgerRows;
}

int RowOfId(int id) {
  return id >= 0 && id < kLedgerSensorRows ? id : kRefusedRow;
}

// The extremes of a value; first: the run had no such value before.
void KeepValue(int value, bool first, int& lowest, int& highest) {
  if (first || value < lowest) lowest = value;
  if (first || value > highest) highest = value;
}

void See(SensorTally& t, const LedgerMoment& moment) {
  if (t.frames == 0) t.first_seen = moment;
  t.last_seen = moment;
  ++t.frames;
}

const SensorTally kNoTally;

}  // namespace

Ledger::Ledger(Clock* clock, bool sequence_byte)
    : clock_(clock), sequence_byte_(sequence_byte), rows_(new Row[kLedgerRows]) {
  run_.sequence_byte = sequence_byte_;
}

Ledger::~Ledger() = default;

void Ledger::Clear() {
  for (int r = 0; r < kLedgerRows; ++r) {
    Row& row = rows_[r];
    row.intervals.Clear();
    row.tally = SensorTally{};
    row.span = Span{};
    row.outage_missed = row.own_missed = row.own_gaps = 0;
    row.interruptions_seen = row.span_same_poll = row.count_steps = row.count_ms = 0;
    row.same_poll_ms = row.first_poll_readings = 0;
  }
  run_ = RunFacts{};
  run_.sequence_byte = sequence_byte_;
}

void Ledger::OnRunStarted() {
  Clear();
  run_.started = true;
  run_.active = true;
  run_.start = {clock_->TickCount(), clock_->Now()};
  // The settings command ends a run before it changes the count, so it holds for the run.
  run_.sensor_count = g_state.sensor_count;
  // A stop during an outage does not end it: the next run begins with it.
  if (g_state.port_lost == 1) {
    run_.port_up = false;
    run_.outages = 1;
    run_.outage_start = run_.start;
  }
}

void Ledger::OnRunStopped(std::uint32_t tick) {
  if (!run_.active) return;
  run_.active = false;
  run_.end = {tick, clock_->Now()};
}

void Ledger::OnPortLost(const PortEvent& event) {
  if (!run_.port_up) return;
  run_.port_up = false;
  ++run_.outages;
  run_.outage_start = {event.tick, event.time};
}

void Ledger::OnPortBack(const PortEvent& event) {
  if (run_.port_up) return;
  run_.port_up = true;
  // From the loss, or from the start of a run that began during the outage.
  run_.outage_ms += event.tick - run_.outage_start.tick;
  resumed_tick_ = event.tick;
  catch_up_until_ = event.tick + kCatchUpMs;
}

void Ledger::OnMonitorStall(const StallEvent& event) {
  if (!run_.active) return;
  ++run_.stalls;
  run_.stall_ms += event.late_ms;
  resumed_tick_ = event.tick;
  catch_up_until_ = event.tick + std::min(event.late_ms, kLongestCatchUpMs) + kCatchUpMs;
}

std::uint32_t Ledger::StepMs(const Row& row) {
  if (row.count_steps < kStepsToTrust) return 0;
  const std::uint64_t ms = (2 * row.count_ms + row.count_steps) / (2 * row.count_steps);
  return static_cast<std::uint32_t>(std::clamp<std::uint64_t>(ms, 1, UINT32_MAX));
}

std::uint64_t Ledger::HiddenTurns(std::uint64_t ms, std::uint64_t steps, std::uint32_t step_ms,
                                  bool* wrapped) {
  *wrapped = step_ms > 0 && ms > kTurn * step_ms;
  if (!*wrapped) return 0;
  // The steps the gap's length holds at the sensor's pace, beyond those the count shows, in
  // whole turns (halfway up).
  const std::uint64_t held = (2 * ms + step_ms) / (2 * step_ms);
  return held > steps ? (held - steps + kTurn / 2) / kTurn * kTurn : 0;
}

void Ledger::CountInterval(Row& row, std::uint32_t interval_ms) {
  SensorTally& t = row.tally;
  if (interval_ms < kSamePollMs) {
    ++t.same_poll;
    if (t.intervals == 0) {
      ++row.first_poll_readings;
    } else {
      row.same_poll_ms += interval_ms;
    }
    return;
  }
  if (t.intervals == 0 || interval_ms < t.interval_min_ms) t.interval_min_ms = interval_ms;
  if (interval_ms > t.interval_max_ms) t.interval_max_ms = interval_ms;
  ++t.intervals;
  row.intervals.Add(interval_ms);
}

void Ledger::CountSequence(Row& row, std::uint8_t sequence, std::uint32_t interval_ms) {
  SensorTally& t = row.tally;
  const std::uint8_t step = static_cast<std::uint8_t>(sequence - t.last_sequence);
  // After a gap that may have hidden a whole turn, a step of 0 is a turn rather than a copy.
  bool wrapped = false;
  const std::uint64_t steps = step == 0 ? kTurn : step;
  const std::uint64_t hidden = HiddenTurns(interval_ms, steps, StepMs(row), &wrapped);
  row.count_ms += interval_ms;
  if (step == 0 && !wrapped) {
    ++t.sequence_duplicates;
    return;  // the count stays where the first copy left it
  }
  t.sequence_lost += steps - 1 + hidden;
  if (wrapped) ++t.sequence_wrap_gaps;
  row.count_steps += steps + hidden;
  t.last_sequence = sequence;
}

void Ledger::JoinSpan(Row& row, const ReadingEvent& r, bool interrupted) {
  SensorTally& t = row.tally;
  Span& span = row.span;
  if (!span.open) {
    // The row's span before is judged for good, against the sensor's pace of now.
    std::uint32_t reading_ms = 0;
    if (row.intervals.count() > 0) {
      const IntervalHistogram::Summary& summary = row.intervals.Summarize();
      reading_ms = ReadingMs(row, summary.period_ms, summary.gaps.missed);
    }
    const SpanMissed earlier = JudgeSpan(span, reading_ms);
    row.outage_missed += earlier.outages;
    row.own_missed += earlier.own;
    if (earlier.own > 0) ++row.own_gaps;
    span = Span{};
    span.open = span.any = true;
    span.from_tick = t.last_seen.tick;
    span.first_tick = r.tick;
    span.resumed_tick = resumed_tick_;
    span.step_ms = StepMs(row);
  }
  if (interrupted) span.until_tick = catch_up_until_;
  ++span.readings;
  span.last_tick = r.tick;
  if (r.tick - t.last_seen.tick < kSamePollMs) {
    ++t.same_poll;
    ++row.span_same_poll;
  }
  if (!sequence_byte_ || r.frame == nullptr) return;
  const std::uint8_t step = static_cast<std::uint8_t>(r.frame[kExtraByte] - t.last_sequence);
  if (step == 0) {
    ++t.sequence_duplicates;
    return;
  }
  t.sequence_lost_outages += step - 1u;
  span.steps += step;
  t.last_sequence = r.frame[kExtraByte];
}

void Ledger::CloseSpan(Row& row) {
  Span& span = row.span;
  span.open = false;
  const std::uint32_t ms = span.last_tick - span.from_tick;
  bool wrapped = false;
  const std::uint64_t hidden = HiddenTurns(ms, span.steps, span.step_ms, &wrapped);
  row.tally.sequence_lost_outages += hidden;
  if (wrapped) ++row.tally.sequence_wrap_gaps;
  row.count_steps += span.steps + hidden;
  row.count_ms += ms;
}

std::uint32_t Ledger::ReadingMs(const Row& row, std::uint32_t period_ms, std::uint64_t missed) {
  if (period_ms == 0) return 0;
  // Readings against the time they took: the first poll's readings came before any of it.
  const std::uint64_t readings =
      row.intervals.count() + (row.tally.same_poll - row.span_same_poll - row.first_poll_readings) +
      missed;
  const std::uint64_t total_ms = row.intervals.sum_ms() + row.same_poll_ms;
  const std::uint64_t ms = (2 * total_ms + readings) / (2 * readings);
  return static_cast<std::uint32_t>(std::clamp<std::uint64_t>(ms, 1, period_ms));
}

Ledger::SpanMissed Ledger::JudgeSpan(const Span& span, std::uint32_t reading_ms) {
  SpanMissed m;
  if (!span.any || reading_ms == 0) return m;
  // The span as one gap: its length less a reading's time for each of its readings but the
  // first.
  const std::uint64_t length = span.last_tick - span.from_tick;
  const std::uint64_t covered = (span.readings - 1) * reading_ms;
  const std::uint64_t all = length > covered ? MissedInGap(length - covered, reading_ms) : 0;
  // A sensor still silent after the monitor read again missed those readings itself.
  const std::uint64_t own_silence =
      After(span.first_tick, span.resumed_tick) ? span.first_tick - span.resumed_tick : 0;
  m.own = std::min(all, MissedInGap(own_silence, reading_ms));
  m.outages = all - m.own;
  return m;
}

void Ledger::OnReading(const ReadingEvent& r) {
  if (r.sensor_id < 0 || r.sensor_id >= kLedgerSensorRows) return;
  Row& row = rows_[r.sensor_id];
  SensorTally& t = row.tally;
  ++run_.readings;

  const bool has_sequence = sequence_byte_ && r.frame != nullptr;
  if (t.frames > 0) {
    // Unsigned difference: right across a wrap of the tick counter.
    const std::uint32_t interval = r.tick - t.last_seen.tick;
    const bool interrupted = row.interruptions_seen != Interruptions();
    if (row.span.open && !interrupted && After(r.tick, row.span.until_tick)) CloseSpan(row);
    if (interrupted || row.span.open) {
      JoinSpan(row, r, interrupted);
    } else {
      CountInterval(row, interval);
      if (has_sequence) CountSequence(row, r.frame[kExtraByte], interval);
    }
  } else if (has_sequence) {
    t.last_sequence = r.frame[kExtraByte];
  }
  row.interruptions_seen = Interruptions();
  const bool first_temperature = t.frames == t.no_temperature;
  const bool first_humidity = t.frames == t.no_humidity;
  See(t, {r.tick, r.time});

  if (r.has_temperature) {
    const int v = r.temperature_sixteenths;
    KeepValue(v, first_temperature, t.temperature_min_sixteenths, t.temperature_max_sixteenths);
    t.temperature_last_sixteenths = v;
    if (v < kLowestTemperature || v > kHighestTemperature) ++t.implausible_temperatures;
  } else {
    ++t.no_temperature;
  }
  if (r.has_humidity) {
    KeepValue(r.humidity_tenths, first_humidity, t.humidity_min_tenths, t.humidity_max_tenths);
    t.humidity_last_tenths = r.humidity_tenths;
    if (r.humidity_tenths > kHighestHumidity) ++t.implausible_humidities;
  } else {
    ++t.no_humidity;
  }
}

void Ledger::OnError(const ErrorEvent& e) {
  if (e.code >= 1 && e.code <= kLedgerErrorCodes) ++run_.errors[e.code];
  const bool has_frame = e.bytes != nullptr && e.byte_count > kIdByte;
  switch (e.code) {
    case kErrStrayBytes:
      if (e.arg > 0) run_.stray_bytes += static_cast<std::uint64_t>(e.arg);
      break;
    case kErrBadCheck:
      if (has_frame) ++rows_[RowOfId(e.bytes[kIdByte])].tally.bad_checks;
      break;
    case kErrSensorId:
      See(rows_[kRefusedRow].tally, {e.tick, e.time});
      break;
    default:
      break;
  }
}

const SensorTally& Ledger::Tally(int row) const {
  return ValidRow(row) ? rows_[row].tally : kNoTally;
}

bool Ledger::Watched(int row) const {
  if (!ValidRow(row)) return false;
  const SensorTally& t = rows_[row].tally;
  if (t.frames > 0 || t.bad_checks > 0) return true;
  return run_.started && row < run_.sensor_count && row != kRefusedRow;
}

int Ledger::NextWatched(int row) const {
  for (int r = row < -1 ? 0 : row + 1; r < kLedgerRows; ++r) {
    if (Watched(r)) return r;
  }
  return -1;
}

std::uint32_t Ledger::MeasuredAt(std::uint32_t now_tick) const {
  return run_.started && !run_.active ? run_.end.tick : now_tick;
}

SensorFigures Ledger::Figures(int row, std::uint32_t now_tick) const {
  SensorFigures f;
  if (!ValidRow(row)) return f;
  const Row& r = rows_[row];
  const SensorTally& t = r.tally;
  const std::uint32_t at = MeasuredAt(now_tick);
  f.row = row;
  f.watched = Watched(row);
  f.tally = t;
  AddGaps(r, f);

  // A sensor is expected when the run counts it or it has sent readings; a row named only by
  // damaged frames beyond the count may be a damaged id, and is never called silent.
  const bool sensor_row = row != kRefusedRow;
  const bool expected = sensor_row && (t.frames > 0 || (run_.started && row < run_.sensor_count));
  if (t.frames > 0) {
    f.has_age = true;
    f.age_ms = at - t.last_seen.tick;
  } else if (expected && run_.started) {
    f.has_age = true;
    f.age_ms = at - run_.start.tick;
  }
  // An outage or a stall since the latest reading (or the start): the sensor's own silence
  // runs from when the monitor read again.
  const bool interrupted = r.interruptions_seen != Interruptions();
  const std::uint32_t own_silence_ms = !run_.port_up ? 0
                                       : interrupted ? std::min(f.age_ms, at - resumed_tick_)
                                                     : f.age_ms;
  if (expected && f.has_age && run_.port_up) {
    f.silent = f.has_median
                   ? std::uint64_t{own_silence_ms} > 3 * std::uint64_t{f.interval_median_ms}
                   : own_silence_ms > kSilentWithoutMedianMs;
  }
  if (f.has_median && t.frames > 0) AddDelivery(t, interrupted, own_silence_ms, f);
  if (sequence_byte_ && sensor_row && t.frames > 0) AddSequenceFigures(r, f);
  return f;
}

void Ledger::AddGaps(const Row& r, SensorFigures& f) {
  if (r.intervals.count() > 0) {
    const IntervalHistogram::Summary& summary = r.intervals.Summarize();
    f.has_median = true;
    f.interval_median_ms = summary.quantiles.median_ms;
    f.interval_p95_ms = summary.quantiles.p95_ms;
    f.period_ms = summary.period_ms;
    f.gaps = summary.gaps.gaps;
    f.missed = summary.gaps.missed;
  }
  const SpanMissed span = JudgeSpan(r.span, ReadingMs(r, f.period_ms, f.missed));
  f.missed += r.own_missed + span.own;
  f.gaps += r.own_gaps + (span.own > 0 ? 1 : 0);
  f.missed_outages = r.outage_missed + span.outages;
}

void Ledger::AddDelivery(const SensorTally& t, bool interrupted, std::uint32_t own_silence_ms,
                         SensorFigures& f) {
  const std::uint64_t open = MissedInGap(f.age_ms, f.period_ms);
  f.missed_open = interrupted ? std::min(open, MissedInGap(own_silence_ms, f.period_ms)) : open;
  f.missed_outages += open - f.missed_open;
  f.has_delivery = true;
  f.delivery_hundredths = HundredthsOfPercent(t.frames, t.frames + f.missed + f.missed_open);
}

void Ledger::AddSequenceFigures(const Row& r, SensorFigures& f) {
  const SensorTally& t = r.tally;
  bool wrapped = false;
  const std::uint64_t hidden = r.span.open ? HiddenTurns(r.span.last_tick - r.span.from_tick,
                                                         r.span.steps, r.span.step_ms, &wrapped)
                                           : 0;
  f.sequence_lost_outages = t.sequence_lost_outages + hidden;
  f.sequence_wrap_gaps = t.sequence_wrap_gaps + (wrapped ? 1 : 0);
  const std::uint64_t distinct = t.frames - t.sequence_duplicates;
  f.has_sequence_delivery = true;
  f.sequence_delivery_hundredths = HundredthsOfPercent(distinct, distinct + t.sequence_lost);
}

RunFigures Ledger::RunFiguresAt(std::uint32_t now_tick) const {
  RunFigures f = RunFactsAt(now_tick);
  for (int row = 0; row < kLedgerSensorRows; ++row) CountRow(Figures(row, now_tick), f);
  return f;
}

void Ledger::Snapshot(std::uint32_t now_tick, LedgerSnapshot& out) const {
  out.at_tick = MeasuredAt(now_tick);
  out.run = RunFactsAt(now_tick);
  for (int row = 0; row < kLedgerRows; ++row) {
    out.rows[row] = Figures(row, now_tick);
    if (row != kRefusedRow) CountRow(out.rows[row], out.run);
  }
}

RunFigures Ledger::RunFactsAt(std::uint32_t now_tick) const {
  RunFigures f;
  f.facts = run_;
  if (!run_.started) return f;
  const std::uint32_t at = MeasuredAt(now_tick);
  f.duration_ms = at - run_.start.tick;
  f.outage_total_ms = run_.outage_ms;
  if (!run_.port_up) f.outage_total_ms += at - run_.outage_start.tick;
  return f;
}

void Ledger::CountRow(const SensorFigures& row, RunFigures& run) {
  if (row.watched) ++run.watched;
  if (row.silent) ++run.silent;
  run.missed_outages += row.missed_outages;
}
