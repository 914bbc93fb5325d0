#include "ledger/ledger.h"

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
    rows_[r].tally = SensorTally{};
    rows_[r].intervals.Clear();
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
  run_.outage_ms += event.outage_ms;
}

void Ledger::CountSequence(SensorTally& t, std::uint8_t sequence) const {
  if (!sequence_byte_) return;
  if (t.frames > 0) {
    const std::uint8_t step = static_cast<std::uint8_t>(sequence - t.last_sequence);
    if (step == 0) {
      ++t.sequence_duplicates;
      return;  // the count stays where the first copy left it
    }
    t.sequence_lost += step - 1u;
  }
  t.last_sequence = sequence;
}

void Ledger::OnReading(const ReadingEvent& r) {
  if (r.sensor_id < 0 || r.sensor_id >= kLedgerSensorRows) return;
  Row& row = rows_[r.sensor_id];
  SensorTally& t = row.tally;
  ++run_.readings;

  if (r.frame != nullptr) CountSequence(t, r.frame[kExtraByte]);
  if (t.frames > 0) {
    // Unsigned difference: right across a wrap of the tick counter.
    const std::uint32_t interval = r.tick - t.last_seen.tick;
    if (interval < kSamePollMs) {
      ++t.same_poll;
    } else {
      if (t.intervals == 0 || interval < t.interval_min_ms) t.interval_min_ms = interval;
      if (interval > t.interval_max_ms) t.interval_max_ms = interval;
      ++t.intervals;
      row.intervals.Add(interval);
    }
  }
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

  if (r.intervals.count() > 0) {
    const IntervalHistogram::Summary& summary = r.intervals.Summarize();
    f.has_median = true;
    f.interval_median_ms = summary.quantiles.median_ms;
    f.interval_p95_ms = summary.quantiles.p95_ms;
    f.period_ms = summary.period_ms;
    f.gaps = summary.gaps.gaps;
    f.missed = summary.gaps.missed;
  }

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
  if (expected && f.has_age) {
    f.silent = f.has_median ? std::uint64_t{f.age_ms} > 3 * std::uint64_t{f.interval_median_ms}
                            : f.age_ms > kSilentWithoutMedianMs;
  }
  if (f.has_median && t.frames > 0) {
    f.missed_open = MissedInGap(f.age_ms, f.period_ms);
    f.has_delivery = true;
    f.delivery_hundredths = HundredthsOfPercent(t.frames, t.frames + f.missed + f.missed_open);
  }
  if (sequence_byte_ && sensor_row && t.frames > 0) {
    const std::uint64_t distinct = t.frames - t.sequence_duplicates;
    f.has_sequence_delivery = true;
    f.sequence_delivery_hundredths = HundredthsOfPercent(distinct, distinct + t.sequence_lost);
  }
  return f;
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
}
