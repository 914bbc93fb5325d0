// The reception ledger as one table of figures: for the run and for a sensor, each figure's
// name, unit, help text, how its value is had from the figures (ledger_figures.h) and where it
// shows. Every output of the ledger takes its names, values and texts from here: the headless
// stats lines, the sensors CSV file and the JSON records (the record fields), the Prometheus
// text, the terminal's ledger view and the live page (the screen table).
//
// Values are exact: counts and milliseconds as whole numbers, temperatures and humidities as the
// exact decimals of their sixteenths and tenths, shares with the two decimals of their
// hundredths of a percent (the ledger rounds those, halfway up). A value the ledger does not
// have (no interval yet, no temperature in the run) is missing: empty in the records, "-" on a
// screen, left out of /metrics.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/local_time.h"
#include "ledger/ledger_figures.h"

// What a figure's number counts, and so how each output writes it.
enum class FigureUnit {
  kCount,         // a whole number
  kFlag,          // 0 or 1 (false or true)
  kMilliseconds,  // whole milliseconds; seconds in /metrics and on screens
  kSixteenths,    // sixteenths of a degree Celsius (four exact decimals)
  kTenths,        // tenths of a percent of relative humidity; a ratio of 1 in /metrics
  kHundredths,    // hundredths of a percent of a share; a ratio of 1 in /metrics
  kTime,          // a moment of the run: its local time; seconds since 1970 in /metrics
};

struct FigureValue {
  bool has = false;
  std::int64_t number = 0;  // in the figure's unit
  LedgerMoment moment;      // kTime
};

struct LedgerFigure {
  // The records' name ("interval_median_ms"), or nullptr for a figure that only the views and
  // /metrics show.
  const char* key;
  FigureUnit unit;
  // What it is, in a sentence (the HELP of /metrics, the live page's column title).
  const char* help;
  FigureValue (*value)(const LedgerSnapshot& snapshot, const SensorFigures& row);
  // The records put run figures of one group under its name ("errors": ERR1 to ERR5).
  const char* group = nullptr;
  // A sensor figure that the refused ids' row has too, under this name ("frames" for readings).
  const char* refused_key = nullptr;
  // A column of the views: its header, and its priority (the lower, the sooner a narrow screen
  // keeps it); seconds on screen with this many decimals (milliseconds only).
  const char* header = nullptr;
  int priority = 0;
  int screen_decimals = 0;
  // Read from the frames' extra byte: only with the sequence byte on. /metrics shows the figure
  // (0 where the sensor has none yet) exactly then; the views only then.
  bool sequence = false;
  // The Prometheus family, its type and a label beside the sensor's; nullptr: not in /metrics.
  const char* metric = nullptr;
  const char* metric_type = nullptr;
  const char* metric_label = nullptr;
};

// In the order of the records: active, start_time, start_tick_ms, end_time, duration_ms,
// sensor_count, sequence_byte, port_up, outages, outage_ms, stalls, stall_ms, missed_outages,
// readings, ERR1 to ERR5 (group "errors"), stray_bytes, watched, silent; then the window's
// counts that only /metrics shows (good frames, error events, the refused ids' frames and bad
// check bytes).
const std::vector<LedgerFigure>& RunFigureTable();
// In the order of the records: sensor, readings, no_temperature, no_humidity, bad_checks,
// first_seen, last_seen, age_ms, silent, same_poll, intervals, interval_min_ms,
// interval_median_ms, interval_p95_ms, interval_max_ms, interval_period_ms, gaps, missed,
// missed_open, missed_outages, (all missed, for the views and /metrics), delivery_percent,
// temperature_min_C, temperature_max_C, temperature_last_C, humidity_min_RH, humidity_max_RH,
// humidity_last_RH, implausible_temperatures, implausible_humidities, sequence_lost,
// sequence_lost_outages, sequence_wrap_gaps, sequence_duplicates, sequence_delivery_percent.
// The refused ids' row has frames, bad_checks, first_seen, last_seen, age_ms.
const std::vector<LedgerFigure>& SensorFigureTable();

// A figure as the records hold it.
struct LedgerField {
  const char* key = "";
  FigureUnit unit = FigureUnit::kCount;
  FigureValue value;
  const char* group = nullptr;
};
std::vector<LedgerField> RunFields(const LedgerSnapshot& snapshot);
std::vector<LedgerField> SensorFields(const LedgerSnapshot& snapshot, int row);
std::vector<LedgerField> RefusedFields(const LedgerSnapshot& snapshot);

// The decimals of a unit's exact record text (4 for sixteenths, 1 for tenths, 2 for hundredths),
// and the value as a whole number of units of 10^-decimals.
int RecordDecimals(FigureUnit unit);
std::int64_t RecordUnits(FigureUnit unit, std::int64_t number);
// The record text: "12", "-9.3125", "45.6", "99.50", "1" or "0", "2026-04-04T09:05:00.123"; empty
// for a missing value.
std::string RecordText(const LedgerField& field);
// The /metrics text in base units, without trailing zeros ("0.456", "1.5", "-40.0625"); for a
// moment, number is its milliseconds since 1970 (the caller knows the wall clock).
std::string MetricText(FigureUnit unit, std::int64_t number);
// The screen text, as the panels show values: seconds with the figure's decimals (halfway up),
// "+23.1" (halfway away from zero), "45.6", "99.50"; "-" for a missing value.
std::string ScreenText(const LedgerFigure& figure, const FigureValue& value);

// The views' table: the columns (sensor figures with a header; the sequence ones only with the
// sequence byte on) and a row of screen texts per watched sensor (by id, or by delivery: the
// worst first), the refused ids' row last.
struct ScreenTable {
  std::vector<const LedgerFigure*> columns;
  std::vector<const SensorFigures*> rows;
  std::vector<std::vector<std::string>> cells;  // [row][column]; "" where the row has no such
};
ScreenTable MakeScreenTable(const LedgerSnapshot& snapshot, bool by_delivery);
// Sorts the sensors' rows of a screen table made of snapshot by the values of one of its columns,
// the smallest or the largest first: a row without the value comes after those with one either
// way, rows of equal values keep their order, and the refused ids' row stays last.
void SortScreenTable(ScreenTable* table, const LedgerSnapshot& snapshot, std::size_t column,
                     bool descending);

// A whole number of 10^-decimals units as an exact decimal, trailing zeros dropped down to
// min_decimals: (4560, 4, 0) is "0.456", (-1, 4, 0) "-0.0001", (2000, 3, 0) "2", (230, 1, 1)
// "23.0", (368, 4, 4) "0.0368".
std::string ExactDecimal(std::int64_t units, int decimals, int min_decimals);

// A run's figures in a line, for a status: "no run yet", "run 1:02:03: 1375 readings, 4 sensors
// (1 silent), 109 error events", with "; receiver lost" while the port is away during the run,
// and "run ended after ..." once it ended.
std::string RunStatusText(const RunFigures& run);

// "2026-04-04T09:05:00.123"
std::string IsoLocalTime(const LocalTime& t);
