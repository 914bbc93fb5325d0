// The reception ledger's figures as named fields: one list for the run, one for a sensor and one
// for the refused ids (32 or more). Every output of the ledger (the headless stats lines, the
// CSV file beside an export, the JSON records) is made from these lists, so that each names and
// shows every figure alike; the meaning of each is in ledger/ledger_figures.h.
//
// Values are exact: counts and milliseconds as whole numbers, temperatures and humidities as the
// exact decimals of their sixteenths and tenths, shares with the two decimals of their
// hundredths of a percent (the ledger rounds those, halfway up). A value the ledger does not
// have (no interval yet, no temperature in the run) is a field of kind kNone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/local_time.h"
#include "ledger/ledger_figures.h"

struct LedgerField {
  enum class Kind { kNone, kWhole, kDecimal, kFlag, kTime };
  const char* key = "";
  Kind kind = Kind::kNone;
  // kWhole: the number; kFlag: 0 or 1; kDecimal: the value in units of 10^-decimals.
  std::int64_t number = 0;
  int decimals = 0;
  LocalTime time = {};  // kTime
  // Fields that belong together under one name in a nested record ("errors": ERR1 to ERR5);
  // nullptr for the rest.
  const char* group = nullptr;
};

// active, start_time, start_tick_ms, end_time, duration_ms, sensor_count, sequence_byte,
// port_up, outages, outage_ms, readings, ERR1 to ERR5 (group "errors"), stray_bytes, watched,
// silent.
std::vector<LedgerField> RunFields(const RunFigures& run);
// sensor, readings, no_temperature, no_humidity, bad_checks, first_seen, last_seen, age_ms,
// silent, same_poll, intervals, interval_min_ms, interval_median_ms, interval_p95_ms,
// interval_max_ms, gaps, missed, missed_open, delivery_percent, temperature_min_C,
// temperature_max_C, temperature_last_C, humidity_min_RH, humidity_max_RH, humidity_last_RH,
// implausible_temperatures, implausible_humidities, sequence_lost, sequence_duplicates,
// sequence_delivery_percent.
std::vector<LedgerField> SensorFields(const SensorFigures& sensor);
// frames, bad_checks, first_seen, last_seen, age_ms.
std::vector<LedgerField> RefusedFields(const SensorFigures& refused);

// A whole number of 10^-decimals units as an exact decimal, trailing zeros dropped down to
// min_decimals: (4560, 4, 0) is "0.456", (-1, 4, 0) "-0.0001", (2000, 3, 0) "2", (230, 1, 1)
// "23.0", (368, 4, 4) "0.0368".
std::string ExactDecimal(std::int64_t units, int decimals, int min_decimals);

// "2026-04-04T09:05:00.123"
std::string IsoLocalTime(const LocalTime& t);

// The value as plain text: "12", "-9.3125", "99.50", "1" or "0", "2026-04-04T09:05:00.123";
// empty for kNone.
std::string PlainText(const LedgerField& field);
