#include "ledger/ledger_fields.h"

#include <cstdio>
#include <string>

namespace {

using Kind = LedgerField::Kind;

LedgerField Whole(const char* key, std::uint64_t value) {
  LedgerField f;
  f.key = key;
  f.kind = Kind::kWhole;
  f.number = static_cast<std::int64_t>(value);
  return f;
}

LedgerField Flag(const char* key, bool value) {
  LedgerField f = Whole(key, value ? 1 : 0);
  f.kind = Kind::kFlag;
  return f;
}

LedgerField Decimal(const char* key, std::int64_t units, int decimals) {
  LedgerField f;
  f.key = key;
  f.kind = Kind::kDecimal;
  f.number = units;
  f.decimals = decimals;
  return f;
}

LedgerField None(const char* key) {
  LedgerField f;
  f.key = key;
  return f;
}

LedgerField Time(const char* key, bool has, const LocalTime& time) {
  LedgerField f;
  f.key = key;
  if (has) {
    f.kind = Kind::kTime;
    f.time = time;
  }
  return f;
}

LedgerField MaybeWhole(const char* key, bool has, std::uint64_t value) {
  return has ? Whole(key, value) : None(key);
}

// A sixteenth of a degree is 0.0625: four decimals hold it exactly.
LedgerField Celsius(const char* key, bool has, int sixteenths) {
  return has ? Decimal(key, std::int64_t{sixteenths} * 625, 4) : None(key);
}

LedgerField Percent(const char* key, bool has, int tenths) {
  return has ? Decimal(key, tenths, 1) : None(key);
}

LedgerField Share(const char* key, bool has, int hundredths) {
  return has ? Decimal(key, hundredths, 2) : None(key);
}

constexpr const char* kErrorKeys[kLedgerErrorCodes + 1] = {"",     "ERR1", "ERR2",
                                                           "ERR3", "ERR4", "ERR5"};

}  // namespace

std::string IsoLocalTime(const LocalTime& t) {
  char text[48];
  std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03u", unsigned{t.year},
                unsigned{t.month}, unsigned{t.day}, unsigned{t.hour}, unsigned{t.minute},
                unsigned{t.second}, unsigned{t.milliseconds});
  return text;
}

std::vector<LedgerField> RunFields(const RunFigures& run) {
  const RunFacts& f = run.facts;
  std::vector<LedgerField> fields = {
      Flag("active", f.active),
      Time("start_time", f.started, f.start.time),
      MaybeWhole("start_tick_ms", f.started, f.start.tick),
      Time("end_time", f.started && !f.active, f.end.time),
      Whole("duration_ms", run.duration_ms),
      Whole("sensor_count", static_cast<std::uint64_t>(f.sensor_count)),
      Flag("sequence_byte", f.sequence_byte),
      Flag("port_up", f.port_up),
      Whole("outages", f.outages),
      Whole("outage_ms", run.outage_total_ms),
      Whole("readings", f.readings),
  };
  for (int code = 1; code <= kLedgerErrorCodes; ++code) {
    fields.push_back(Whole(kErrorKeys[code], f.errors[code]));
    fields.back().group = "errors";
  }
  fields.push_back(Whole("stray_bytes", f.stray_bytes));
  fields.push_back(Whole("watched", static_cast<std::uint64_t>(run.watched)));
  fields.push_back(Whole("silent", static_cast<std::uint64_t>(run.silent)));
  return fields;
}

std::vector<LedgerField> SensorFields(const SensorFigures& s) {
  const SensorTally& t = s.tally;
  const bool intervals = t.intervals > 0;
  const bool temperature = t.frames > t.no_temperature;
  const bool humidity = t.frames > t.no_humidity;
  const bool sequence = s.has_sequence_delivery;
  return {
      Whole("sensor", static_cast<std::uint64_t>(s.row)),
      Whole("readings", t.frames),
      Whole("no_temperature", t.no_temperature),
      Whole("no_humidity", t.no_humidity),
      Whole("bad_checks", t.bad_checks),
      Time("first_seen", t.frames > 0, t.first_seen.time),
      Time("last_seen", t.frames > 0, t.last_seen.time),
      MaybeWhole("age_ms", s.has_age, s.age_ms),
      Flag("silent", s.silent),
      Whole("same_poll", t.same_poll),
      Whole("intervals", t.intervals),
      MaybeWhole("interval_min_ms", intervals, t.interval_min_ms),
      MaybeWhole("interval_median_ms", s.has_median, s.interval_median_ms),
      MaybeWhole("interval_p95_ms", s.has_median, s.interval_p95_ms),
      MaybeWhole("interval_max_ms", intervals, t.interval_max_ms),
      Whole("gaps", s.gaps),
      Whole("missed", s.missed),
      Whole("missed_open", s.missed_open),
      Share("delivery_percent", s.has_delivery, s.delivery_hundredths),
      Celsius("temperature_min_C", temperature, t.temperature_min_sixteenths),
      Celsius("temperature_max_C", temperature, t.temperature_max_sixteenths),
      Celsius("temperature_last_C", temperature, t.temperature_last_sixteenths),
      Percent("humidity_min_RH", humidity, t.humidity_min_tenths),
      Percent("humidity_max_RH", humidity, t.humidity_max_tenths),
      Percent("humidity_last_RH", humidity, t.humidity_last_tenths),
      Whole("implausible_temperatures", t.implausible_temperatures),
      Whole("implausible_humidities", t.implausible_humidities),
      MaybeWhole("sequence_lost", sequence, t.sequence_lost),
      MaybeWhole("sequence_duplicates", sequence, t.sequence_duplicates),
      Share("sequence_delivery_percent", sequence, s.sequence_delivery_hundredths),
  };
}

std::vector<LedgerField> RefusedFields(const SensorFigures& s) {
  const SensorTally& t = s.tally;
  return {
      Whole("frames", t.frames),
      Whole("bad_checks", t.bad_checks),
      Time("first_seen", t.frames > 0, t.first_seen.time),
      Time("last_seen", t.frames > 0, t.last_seen.time),
      MaybeWhole("age_ms", s.has_age, s.age_ms),
  };
}

std::string PlainText(const LedgerField& field) {
  switch (field.kind) {
    case Kind::kNone:
      return "";
    case Kind::kWhole:
    case Kind::kFlag:
      return std::to_string(field.number);
    case Kind::kTime:
      return IsoLocalTime(field.time);
    case Kind::kDecimal:
      break;
  }
  return ExactDecimal(field.number, field.decimals, field.decimals);
}

std::string ExactDecimal(std::int64_t units, int decimals, int min_decimals) {
  const bool negative = units < 0;
  // The magnitude as unsigned, so that the most negative value is no overflow.
  const std::uint64_t magnitude =
      negative ? 0 - static_cast<std::uint64_t>(units) : static_cast<std::uint64_t>(units);
  std::uint64_t scale = 1;
  for (int i = 0; i < decimals; ++i) scale *= 10;
  std::string fraction = decimals > 0 ? std::to_string(magnitude % scale) : "";
  fraction.insert(0, static_cast<std::size_t>(decimals) - fraction.size(), '0');
  while (static_cast<int>(fraction.size()) > min_decimals && fraction.back() == '0') {
    fraction.pop_back();
  }
  std::string text = (negative ? "-" : "") + std::to_string(magnitude / scale);
  return fraction.empty() ? text : text + "." + fraction;
}
