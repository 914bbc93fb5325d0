// The figures of the reception ledger as plain values: what was counted for one sensor
// (SensorTally), what is worked out from that at a moment (SensorFigures), the facts of the run
// (RunFacts, RunFigures) and all of it at once (LedgerSnapshot). No pointer leads into live
// state, so a copy may travel to another thread.
//
// Units are in the names: ticks and durations in milliseconds of the monitor's clock (a 32-bit
// count that wraps after 2^32 ms), temperatures in signed sixteenths of a degree Celsius,
// humidities in tenths of a percent, shares in hundredths of a percent (10000 is all).
#pragma once

#include <cstdint>

#include "app/local_time.h"

// Rows 0 to 31 are the sensor ids; one more row takes every frame whose id is 32 or more.
constexpr int kLedgerSensorRows = 32;
constexpr int kRefusedRow = kLedgerSensorRows;
constexpr int kLedgerRows = kLedgerSensorRows + 1;

// The error codes counted per run (ERR1 to ERR5); errors[code] holds the count of each.
constexpr int kLedgerErrorCodes = 5;

// Two readings of a sensor closer than this came in the same poll (polls are 200 ms apart).
constexpr std::uint32_t kSamePollMs = 100;

// A moment of the run: its tick and the local time.
struct LedgerMoment {
  std::uint32_t tick = 0;
  LocalTime time = {};
};

// What one row has counted since the run started.
struct SensorTally {
  // Sensor rows: good frames decoded (readings). The refused row: good frames with an id of 32
  // or more (ERR5), which are not readings.
  std::uint64_t frames = 0;
  std::uint64_t no_temperature = 0;  // readings without a temperature
  std::uint64_t no_humidity = 0;     // readings without a humidity
  // Frames with a bad check byte whose id byte names this row. The id byte of a damaged frame
  // may itself be damaged, so this attributes rather than proves; ids of 32 or more go to the
  // refused row.
  std::uint64_t bad_checks = 0;

  // The first and the latest frame counted in `frames`; valid when frames > 0.
  LedgerMoment first_seen;
  LedgerMoment last_seen;

  // Readings less than kSamePollMs after the sensor's previous one: two readings of one poll,
  // which is no interval between transmissions. They are counted here and nowhere below.
  std::uint64_t same_poll = 0;
  // Intervals between consecutive readings of the run (the first reading has none); min and
  // max are exact, valid when intervals > 0.
  std::uint64_t intervals = 0;
  std::uint32_t interval_min_ms = 0;
  std::uint32_t interval_max_ms = 0;

  // Values of the readings that had them; valid when the count of readings with the value
  // (frames minus no_temperature, frames minus no_humidity) is above 0. Out-of-range values are
  // kept in min and max as they came, and counted.
  int temperature_min_sixteenths = 0;
  int temperature_max_sixteenths = 0;
  int temperature_last_sixteenths = 0;
  int humidity_min_tenths = 0;
  int humidity_max_tenths = 0;
  int humidity_last_tenths = 0;
  std::uint64_t implausible_temperatures = 0;  // below -40 or above +125 degrees
  std::uint64_t implausible_humidities = 0;    // above 100 percent

  // With the sequence byte on: the extra byte read as the sensor's own count of readings,
  // modulo 256. A step of 1 is the next reading, a step of 0 a duplicate, a step of k > 1
  // means k - 1 readings lost. A gap longer than 256 of the sensor's steps (by its count's
  // pace so far) may hide whole turns of the count: the turns its length holds are added
  // (256 readings each) and the gap counted in sequence_wrap_gaps. The losses across an outage
  // or a stall (the span of SensorFigures::missed_outages) count apart, once the reading that
  // closes the span has come (SensorFigures adds the span open now).
  std::uint8_t last_sequence = 0;  // valid when frames > 0
  std::uint64_t sequence_lost = 0;
  std::uint64_t sequence_lost_outages = 0;
  std::uint64_t sequence_wrap_gaps = 0;
  std::uint64_t sequence_duplicates = 0;
};

// A row's tally and what follows from it at a moment (the reader's now, or the run's end).
struct SensorFigures {
  int row = 0;           // the sensor id, or kRefusedRow
  bool watched = false;  // see Ledger::Watched
  SensorTally tally;

  // Interval median and 95th percentile, by nearest rank over every interval of the run (the
  // median the lower one of an even count). Exact to 10 ms below 60 s (the value is the start
  // of its 10 ms step, so the true one is at most 9 ms more); from 60 s on the mean of the
  // intervals in the same step: 1 s steps to 10 min, 10 s steps to 2 h, one step beyond.
  bool has_median = false;  // at least one interval
  std::uint32_t interval_median_ms = 0;
  std::uint32_t interval_p95_ms = 0;

  // The sensor's period as the gaps are judged against (valid with a median): the exact sum of
  // its intervals over their count plus the readings the gaps missed (interval_histogram.h).
  std::uint32_t period_ms = 0;
  // Gaps: intervals longer than 1.5 x the period plus a poll (200 ms), each estimated to have
  // missed round(interval / period) - 1 readings (halfway rounds up). Worked out against the
  // period of now, so earlier intervals are judged again as it settles.
  std::uint64_t gaps = 0;
  std::uint64_t missed = 0;
  // The silence since the latest reading, judged the same way while it lasts (0 otherwise).
  std::uint64_t missed_open = 0;
  // Readings missed while the monitor could not read: an outage of the port or a stall of the
  // monitor itself. The readings from the sensor's latest before it to its first ones after it
  // (those that arrive within a second of the monitor reading again, and for a stall within
  // the stall's length more, as the backlog comes in) make one span, judged as a whole against
  // the period: its length less a period for each of its readings but one, as one gap. Neither
  // the span's intervals nor these readings count in gaps, missed or the delivery; a sensor
  // that stays silent after the monitor reads again is missing its own readings from then on.
  // The silence of a sensor across an outage or stall counts here the same way while it lasts.
  std::uint64_t missed_outages = 0;

  // Delivery estimate: frames / (frames + missed + missed_open); valid with a median.
  bool has_delivery = false;
  int delivery_hundredths = 0;  // hundredths of a percent, halfway rounds up

  // Milliseconds since the row's latest frame, or since the run's start for a sensor of the
  // run's count that has sent none; valid in these two cases only.
  bool has_age = false;
  std::uint32_t age_ms = 0;
  // A sensor of the run's count, or one that has sent readings, is silent when its age passes
  // 3 x its median interval, or 10 s while it has no median. A row named only by damaged frames
  // (its id may be a damaged one) and the refused row are never silent. While the port is lost
  // no sensor is silent, and after an outage or a stall its age for this counts from the moment
  // the monitor read again.
  bool silent = false;

  // With the sequence byte on: the tally's losses across outages and stalls and its gaps that
  // may have hidden turns of the count, with those of the span open now; and the frames that
  // were not duplicates against those plus the sensor's own lost (tally.sequence_lost).
  bool has_sequence_delivery = false;
  std::uint64_t sequence_lost_outages = 0;
  std::uint64_t sequence_wrap_gaps = 0;
  int sequence_delivery_hundredths = 0;
};

// The facts of the run that the ledger follows.
struct RunFacts {
  bool started = false;  // a run has started since the ledger was made
  bool active = false;   // the run goes on
  LedgerMoment start;
  LedgerMoment end;            // valid when started and not active
  int sensor_count = 0;        // the sensor count setting the run started with
  bool sequence_byte = false;  // the extra byte is read as a sequence count
  // false between a port loss and its return; a run started while the port is lost begins with
  // that outage
  bool port_up = true;
  std::uint64_t outages = 0;    // port losses in this run
  std::uint64_t outage_ms = 0;  // the length of the outages that have ended
  LedgerMoment outage_start;    // valid while the port is down
  // Polls that came more than 2 s late: the monitor itself stood still (a stopped process, a
  // suspended machine); stall_ms adds up how late they came.
  std::uint64_t stalls = 0;
  std::uint64_t stall_ms = 0;
  std::uint64_t readings = 0;                        // readings of every sensor row
  std::uint64_t errors[kLedgerErrorCodes + 1] = {};  // [1] to [5]: ERR1 to ERR5 lines
  std::uint64_t stray_bytes = 0;                     // every byte the ERR1 events set aside
};

// The run's facts and what follows from them at a moment.
struct RunFigures {
  RunFacts facts;
  std::uint32_t duration_ms = 0;      // from the start to the moment (0 before any run)
  std::uint64_t outage_total_ms = 0;  // ended outages and the one going on
  int watched = 0;                    // watched sensor rows
  int silent = 0;                     // silent sensor rows
  std::uint64_t missed_outages = 0;   // the sensor rows' missed_outages
};

// Everything at one moment, in one plain record.
struct LedgerSnapshot {
  // The tick the figures were worked out for: the reader's now during a run, the run's end
  // after it.
  std::uint32_t at_tick = 0;
  RunFigures run;
  SensorFigures rows[kLedgerRows];
};

// The counts of the window's boxes, from the ledger, which keeps them after the run's end as
// the boxes do: the good count (frames with a right check byte: readings and ids of 32 or
// more) and the error count (ERR1 and ERR2 events).
inline std::uint64_t GoodFrames(const LedgerSnapshot& s) {
  return s.run.facts.readings + s.rows[kRefusedRow].tally.frames;
}
inline std::uint64_t ErrorEvents(const LedgerSnapshot& s) {
  return s.run.facts.errors[1] + s.run.facts.errors[2];
}
