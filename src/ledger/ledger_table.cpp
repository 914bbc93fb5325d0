#include "ledger/ledger_table.h"

#include <algorithm>
#include <cstdio>

#include "display/number_format.h"

namespace {

using Unit = FigureUnit;

FigureValue Some(std::int64_t number) {
  FigureValue v;
  v.has = true;
  v.number = number;
  return v;
}

FigureValue Maybe(bool has, std::int64_t number) {
  FigureValue v = Some(number);
  v.has = has;
  return v;
}

FigureValue At(bool has, const LedgerMoment& moment) {
  FigureValue v = Maybe(has, 0);
  v.moment = moment;
  return v;
}

// The rules of what a row has, each once.
bool HasTemperature(const SensorTally& t) {
  return t.frames > t.no_temperature;
}
bool HasHumidity(const SensorTally& t) {
  return t.frames > t.no_humidity;
}
bool HasIntervals(const SensorTally& t) {
  return t.intervals > 0;
}

const char kCounter[] = "counter";
const char kGauge[] = "gauge";

// The getters' arguments: a run figure reads the snapshot (its run, or its refused row), a
// sensor figure its row.
using S = const LedgerSnapshot&;
using R = const SensorFigures&;

LedgerFigure ErrorCount(const char* key, int code, const char* label) {
  LedgerFigure figure{key, Unit::kCount, nullptr, nullptr};
  figure.group = "errors";
  figure.metric = "wsmon_frame_errors_total";
  figure.metric_type = kCounter;
  figure.metric_label = label;
  // The family's help goes with its first figure.
  if (code == 1) {
    figure.help =
        "Error log lines of this run by code: ERR1 stray bytes, ERR2 bad check byte, ERR3 port "
        "read failed, ERR4 accumulation buffer full, ERR5 sensor id 32 or more.";
  }
  return figure;
}

std::vector<LedgerFigure> MakeRunTable() {
  std::vector<LedgerFigure> t;
  const auto add = [&t](const char* key, Unit unit, const char* help,
                        FigureValue (*value)(const LedgerSnapshot&, const SensorFigures&),
                        const char* metric = nullptr, const char* type = kGauge) {
    LedgerFigure figure{key, unit, help, value};
    figure.metric = metric;
    figure.metric_type = type;
    t.push_back(figure);
  };
  add(
      "active", Unit::kFlag, "1 while a monitoring run goes on.",
      [](S s, R) { return Some(s.run.facts.active); }, "wsmon_run_active");
  add(
      "start_time", Unit::kTime, "When the run started, in seconds since 1970 (UTC).",
      [](S s, R) { return At(s.run.facts.started, s.run.facts.start); },
      "wsmon_run_start_timestamp_seconds");
  add("start_tick_ms", Unit::kCount, "The monitor's clock at the run's start.",
      [](S s, R) { return Maybe(s.run.facts.started, s.run.facts.start.tick); });
  add("end_time", Unit::kTime, "When the run ended.",
      [](S s, R) { return At(s.run.facts.started && !s.run.facts.active, s.run.facts.end); });
  add(
      "duration_ms", Unit::kMilliseconds,
      "Seconds from the run's start to now, or to its end once it ended.",
      [](S s, R) { return Some(s.run.duration_ms); }, "wsmon_run_duration_seconds");
  t.back().screen_decimals = 1;
  add(
      "sensor_count", Unit::kCount, "The sensor count setting the run started with.",
      [](S s, R) { return Some(std::max(s.run.facts.sensor_count, 0)); },
      "wsmon_sensors_configured");
  add("sequence_byte", Unit::kFlag, "1 when the extra byte is read as each sensor's count.",
      [](S s, R) { return Some(s.run.facts.sequence_byte); });
  add("port_up", Unit::kFlag, "0 between a loss of the port during the run and its return.",
      [](S s, R) { return Some(s.run.facts.port_up); });
  add(
      "outages", Unit::kCount, "Times the serial port stopped answering during this run.",
      [](S s, R) { return Some(static_cast<std::int64_t>(s.run.facts.outages)); },
      "wsmon_port_outages_total", kCounter);
  add(
      "outage_ms", Unit::kMilliseconds,
      "Seconds the serial port was away during this run, the outage going on included.",
      [](S s, R) { return Some(static_cast<std::int64_t>(s.run.outage_total_ms)); },
      "wsmon_port_outage_seconds_total", kCounter);
  add(
      "stalls", Unit::kCount,
      "Polls of this run that came more than 2 s late: the monitor itself stood still (a "
      "stopped process, a suspended machine).",
      [](S s, R) { return Some(static_cast<std::int64_t>(s.run.facts.stalls)); },
      "wsmon_monitor_stalls_total", kCounter);
  add(
      "stall_ms", Unit::kMilliseconds, "Seconds the stalled polls of this run came late, in all.",
      [](S s, R) { return Some(static_cast<std::int64_t>(s.run.facts.stall_ms)); },
      "wsmon_monitor_stall_seconds_total", kCounter);
  add("missed_outages", Unit::kCount,
      "Readings the sensors are estimated to have missed while the port was lost or the "
      "monitor stalled.",
      [](S s, R) { return Some(static_cast<std::int64_t>(s.run.missed_outages)); });
  add("readings", Unit::kCount, "Readings of every sensor in this run.",
      [](S s, R) { return Some(static_cast<std::int64_t>(s.run.facts.readings)); });
  t.push_back(ErrorCount("ERR1", 1, "code=\"ERR1\""));
  t.back().value = [](S s, R) { return Some(static_cast<std::int64_t>(s.run.facts.errors[1])); };
  t.push_back(ErrorCount("ERR2", 2, "code=\"ERR2\""));
  t.back().value = [](S s, R) { return Some(static_cast<std::int64_t>(s.run.facts.errors[2])); };
  t.push_back(ErrorCount("ERR3", 3, "code=\"ERR3\""));
  t.back().value = [](S s, R) { return Some(static_cast<std::int64_t>(s.run.facts.errors[3])); };
  t.push_back(ErrorCount("ERR4", 4, "code=\"ERR4\""));
  t.back().value = [](S s, R) { return Some(static_cast<std::int64_t>(s.run.facts.errors[4])); };
  t.push_back(ErrorCount("ERR5", 5, "code=\"ERR5\""));
  t.back().value = [](S s, R) { return Some(static_cast<std::int64_t>(s.run.facts.errors[5])); };
  add(
      "stray_bytes", Unit::kCount, "Bytes of this run that belonged to no frame (ERR1).",
      [](S s, R) { return Some(static_cast<std::int64_t>(s.run.facts.stray_bytes)); },
      "wsmon_stray_bytes_total", kCounter);
  add(
      "watched", Unit::kCount,
      "Sensors of the run's count and any other that sent a frame in the run.",
      [](S s, R) { return Some(s.run.watched); }, "wsmon_sensors_watched");
  add(
      "silent", Unit::kCount, "Watched sensors that are silent now.",
      [](S s, R) { return Some(s.run.silent); }, "wsmon_sensors_silent");
  // The window's counts, which the ledger keeps after the run's end as the boxes do.
  add(
      nullptr, Unit::kCount,
      "Frames with a right check byte in this run (the good count: ids of 32 or more too).",
      [](S s, R) { return Some(static_cast<std::int64_t>(GoodFrames(s))); }, "wsmon_frames_total",
      kCounter);
  add(
      nullptr, Unit::kCount, "Error events of this run (the error count: ERR1 and ERR2 events).",
      [](S s, R) { return Some(static_cast<std::int64_t>(ErrorEvents(s))); },
      "wsmon_error_events_total", kCounter);
  add(
      nullptr, Unit::kCount, "Frames with a right check byte and a sensor id of 32 or more (ERR5).",
      [](S s, R) { return Some(static_cast<std::int64_t>(s.rows[kRefusedRow].tally.frames)); },
      "wsmon_refused_frames_total", kCounter);
  add(
      nullptr, Unit::kCount, "Frames with a wrong check byte whose id byte is 32 or more.",
      [](S s, R) { return Some(static_cast<std::int64_t>(s.rows[kRefusedRow].tally.bad_checks)); },
      "wsmon_refused_bad_checks_total", kCounter);
  return t;
}

struct Column {
  const char* header = nullptr;
  int priority = 0;
  int screen_decimals = 0;
};

std::vector<LedgerFigure> MakeSensorTable() {
  std::vector<LedgerFigure> t;
  const auto add = [&t](const char* key, Unit unit, const char* help,
                        FigureValue (*value)(const LedgerSnapshot&, const SensorFigures&),
                        Column column = {}, const char* metric = nullptr, const char* type = kGauge,
                        const char* label = "") {
    LedgerFigure figure{key, unit, help, value};
    figure.header = column.header;
    figure.priority = column.priority;
    figure.screen_decimals = column.screen_decimals;
    figure.metric = metric;
    figure.metric_type = type;
    figure.metric_label = label;
    t.push_back(figure);
  };
  const auto refused = [&t](const char* key) { t.back().refused_key = key; };
  add("sensor", Unit::kCount, "The sensor's id.", [](S, R f) { return Some(f.row); }, {"id", 0});
  add(
      "readings", Unit::kCount, "Readings of the sensor in this run.",
      [](S, R f) { return Some(static_cast<std::int64_t>(f.tally.frames)); }, {"readings", 1},
      "wsmon_readings_total", kCounter);
  refused("frames");
  add(
      "no_temperature", Unit::kCount, "Readings in which the sensor sent no value of the quantity.",
      [](S, R f) { return Some(static_cast<std::int64_t>(f.tally.no_temperature)); }, {"noT", 10},
      "wsmon_readings_without_value_total", kCounter, "quantity=\"temperature\"");
  add(
      "no_humidity", Unit::kCount, "Readings in which the sensor sent no humidity.",
      [](S, R f) { return Some(static_cast<std::int64_t>(f.tally.no_humidity)); }, {"noRH", 10},
      "wsmon_readings_without_value_total", kCounter, "quantity=\"humidity\"");
  add(
      "bad_checks", Unit::kCount,
      "Frames with a wrong check byte whose id byte names the sensor (the id of a damaged frame "
      "may itself be damaged).",
      [](S, R f) { return Some(static_cast<std::int64_t>(f.tally.bad_checks)); }, {"bad", 5},
      "wsmon_bad_checks_total", kCounter);
  refused("bad_checks");
  add("first_seen", Unit::kTime, "When the sensor's first reading of the run arrived.",
      [](S, R f) { return At(f.tally.frames > 0, f.tally.first_seen); });
  refused("first_seen");
  add(
      "last_seen", Unit::kTime,
      "When the sensor's latest reading arrived, in seconds since 1970 (UTC).",
      [](S, R f) { return At(f.tally.frames > 0, f.tally.last_seen); }, {},
      "wsmon_last_reading_timestamp_seconds");
  refused("last_seen");
  add(
      "age_ms", Unit::kMilliseconds,
      "Seconds since the sensor's latest reading (since the run's start for a sensor of the "
      "run's count that sent none).",
      [](S, R f) { return Maybe(f.has_age, f.age_ms); }, {"age s", 4, 1},
      "wsmon_sensor_age_seconds");
  refused("age_ms");
  add(
      "silent", Unit::kFlag,
      "1 when the sensor's age passed 3 times its median interval (10 s before it has one).",
      [](S, R f) { return Some(f.silent); }, {}, "wsmon_sensor_silent");
  add("same_poll", Unit::kCount, "Readings that came in the same poll as the one before.",
      [](S, R f) { return Some(static_cast<std::int64_t>(f.tally.same_poll)); });
  add("intervals", Unit::kCount, "Intervals between the sensor's readings.",
      [](S, R f) { return Some(static_cast<std::int64_t>(f.tally.intervals)); });
  add("interval_min_ms", Unit::kMilliseconds, "Shortest interval between the sensor's readings.",
      [](S, R f) { return Maybe(HasIntervals(f.tally), f.tally.interval_min_ms); },
      {"min s", 13, 2});
  add(
      "interval_median_ms", Unit::kMilliseconds, "Median interval between the sensor's readings.",
      [](S, R f) { return Maybe(f.has_median, f.interval_median_ms); }, {"med s", 6, 2},
      "wsmon_interval_median_seconds");
  add(
      "interval_p95_ms", Unit::kMilliseconds,
      "95th percentile of the intervals between the sensor's readings.",
      [](S, R f) { return Maybe(f.has_median, f.interval_p95_ms); }, {"p95 s", 12, 2},
      "wsmon_interval_p95_seconds");
  add("interval_max_ms", Unit::kMilliseconds, "Longest interval between the sensor's readings.",
      [](S, R f) { return Maybe(HasIntervals(f.tally), f.tally.interval_max_ms); },
      {"max s", 13, 2});
  add("interval_period_ms", Unit::kMilliseconds,
      "The sensor's period as the gaps are judged: its intervals' total over the readings they "
      "span, the missed ones included.",
      [](S, R f) { return Maybe(f.has_median, f.period_ms); });
  add(
      "gaps", Unit::kCount,
      "Intervals longer than 1.5 times the period plus a poll (judged again as the period "
      "settles).",
      [](S, R f) { return Some(static_cast<std::int64_t>(f.gaps)); }, {"gaps", 11},
      "wsmon_sensor_gaps");
  add("missed", Unit::kCount, "Readings the gaps are estimated to have missed.",
      [](S, R f) { return Some(static_cast<std::int64_t>(f.missed)); });
  add("missed_open", Unit::kCount,
      "Readings the silence since the latest reading is estimated to have missed.",
      [](S, R f) { return Some(static_cast<std::int64_t>(f.missed_open)); });
  add(
      "missed_outages", Unit::kCount,
      "Readings the sensor is estimated to have missed while the port was lost or the monitor "
      "stalled (not in its missed readings or its delivery).",
      [](S, R f) { return Some(static_cast<std::int64_t>(f.missed_outages)); }, {"outage", 11},
      "wsmon_sensor_missed_outage_readings");
  add(
      nullptr, Unit::kCount,
      "Readings the gaps and the silence since the latest reading are estimated to have missed.",
      [](S, R f) { return Some(static_cast<std::int64_t>(f.missed + f.missed_open)); },
      {"missed", 3}, "wsmon_sensor_missed_readings");
  add(
      "delivery_percent", Unit::kHundredths,
      "Readings / (readings + estimated missed), 0 to 1; there once the sensor has a median.",
      [](S, R f) { return Maybe(f.has_delivery, f.delivery_hundredths); }, {"deliv%", 2},
      "wsmon_sensor_delivery_ratio");
  add("temperature_min_C", Unit::kSixteenths, "The sensor's lowest temperature of the run.",
      [](S, R f) { return Maybe(HasTemperature(f.tally), f.tally.temperature_min_sixteenths); },
      {"T min", 15});
  add("temperature_max_C", Unit::kSixteenths, "The sensor's highest temperature of the run.",
      [](S, R f) { return Maybe(HasTemperature(f.tally), f.tally.temperature_max_sixteenths); },
      {"T max", 15});
  add(
      "temperature_last_C", Unit::kSixteenths, "The sensor's latest temperature.",
      [](S, R f) { return Maybe(HasTemperature(f.tally), f.tally.temperature_last_sixteenths); },
      {"T", 9}, "wsmon_temperature_celsius");
  add("humidity_min_RH", Unit::kTenths, "The sensor's lowest relative humidity of the run.",
      [](S, R f) { return Maybe(HasHumidity(f.tally), f.tally.humidity_min_tenths); },
      {"RH min", 16});
  add("humidity_max_RH", Unit::kTenths, "The sensor's highest relative humidity of the run.",
      [](S, R f) { return Maybe(HasHumidity(f.tally), f.tally.humidity_max_tenths); },
      {"RH max", 16});
  add(
      "humidity_last_RH", Unit::kTenths, "The sensor's latest relative humidity, 0 to 1.",
      [](S, R f) { return Maybe(HasHumidity(f.tally), f.tally.humidity_last_tenths); }, {"RH", 9},
      "wsmon_humidity_ratio");
  add(
      "implausible_temperatures", Unit::kCount,
      "Values outside the plausible range: below -40 or above 125 degrees, above 100 %RH.",
      [](S, R f) { return Some(static_cast<std::int64_t>(f.tally.implausible_temperatures)); },
      {"T!", 14}, "wsmon_implausible_values_total", kCounter, "quantity=\"temperature\"");
  add(
      "implausible_humidities", Unit::kCount, "Humidities above 100 %RH.",
      [](S, R f) { return Some(static_cast<std::int64_t>(f.tally.implausible_humidities)); },
      {"RH!", 14}, "wsmon_implausible_values_total", kCounter, "quantity=\"humidity\"");
  add(
      "sequence_lost", Unit::kCount,
      "Readings lost by the sensor's own count in the extra byte, outside outages and stalls "
      "(with the sequence byte on).",
      [](S, R f) {
        return Maybe(f.has_sequence_delivery, static_cast<std::int64_t>(f.tally.sequence_lost));
      },
      {"lost", 7}, "wsmon_sequence_lost_total", kCounter);
  t.back().sequence = true;
  add(
      "sequence_lost_outages", Unit::kCount,
      "Readings lost by the sensor's own count while the port was lost or the monitor stalled.",
      [](S, R f) {
        return Maybe(f.has_sequence_delivery, static_cast<std::int64_t>(f.sequence_lost_outages));
      },
      {"lost out", 12}, "wsmon_sequence_lost_outages");
  t.back().sequence = true;
  add(
      "sequence_wrap_gaps", Unit::kCount,
      "Gaps long enough to hide whole turns of the count (256 readings each), whose turns are "
      "estimated from the gap's length: the lost counts above are no longer exact.",
      [](S, R f) {
        return Maybe(f.has_sequence_delivery, static_cast<std::int64_t>(f.sequence_wrap_gaps));
      },
      {"wrap", 12}, "wsmon_sequence_wrap_gaps");
  t.back().sequence = true;
  add(
      "sequence_duplicates", Unit::kCount,
      "Readings that repeated the sensor's count in the extra byte (with the sequence byte on).",
      [](S, R f) {
        return Maybe(f.has_sequence_delivery,
                     static_cast<std::int64_t>(f.tally.sequence_duplicates));
      },
      {"dup", 9}, "wsmon_sequence_duplicates_total", kCounter);
  t.back().sequence = true;
  add("sequence_delivery_percent", Unit::kHundredths,
      "Readings that were no duplicates / (those + the lost), by the sensor's own count.",
      [](S, R f) { return Maybe(f.has_sequence_delivery, f.sequence_delivery_hundredths); },
      {"seq%", 8});
  t.back().sequence = true;
  return t;
}

LedgerField Field(const char* key, const LedgerFigure& figure, const FigureValue& value) {
  LedgerField field;
  field.key = key;
  field.unit = figure.unit;
  field.value = value;
  field.group = figure.group;
  return field;
}

std::int64_t Power10(int decimals) {
  std::int64_t scale = 1;
  for (int i = 0; i < decimals; ++i) scale *= 10;
  return scale;
}

// What sorting by delivery compares: the worse of the estimate and, with the sequence byte, the
// exact share (which cannot see a silence going on now); a sensor without either (nothing
// heard, or no interval yet) comes first.
int DeliveryKey(const SensorFigures& s) {
  const int estimate = s.has_delivery ? s.delivery_hundredths : -1;
  if (!s.has_sequence_delivery) return estimate;
  return s.has_delivery ? std::min(estimate, s.sequence_delivery_hundredths)
                        : s.sequence_delivery_hundredths;
}

std::string HoursMinutesSeconds(std::uint32_t ms) {
  const std::uint32_t s = ms / 1000;
  char text[24];
  std::snprintf(text, sizeof text, "%u:%02u:%02u", s / 3600, s / 60 % 60, s % 60);
  return text;
}

}  // namespace

const std::vector<LedgerFigure>& RunFigureTable() {
  static const std::vector<LedgerFigure> table = MakeRunTable();
  return table;
}

const std::vector<LedgerFigure>& SensorFigureTable() {
  static const std::vector<LedgerFigure> table = MakeSensorTable();
  return table;
}

std::vector<LedgerField> RunFields(const LedgerSnapshot& s) {
  std::vector<LedgerField> fields;
  for (const LedgerFigure& f : RunFigureTable()) {
    if (f.key != nullptr) fields.push_back(Field(f.key, f, f.value(s, s.rows[kRefusedRow])));
  }
  return fields;
}

std::vector<LedgerField> SensorFields(const LedgerSnapshot& s, int row) {
  std::vector<LedgerField> fields;
  for (const LedgerFigure& f : SensorFigureTable()) {
    if (f.key != nullptr) fields.push_back(Field(f.key, f, f.value(s, s.rows[row])));
  }
  return fields;
}

std::vector<LedgerField> RefusedFields(const LedgerSnapshot& s) {
  std::vector<LedgerField> fields;
  for (const LedgerFigure& f : SensorFigureTable()) {
    if (f.refused_key != nullptr) {
      fields.push_back(Field(f.refused_key, f, f.value(s, s.rows[kRefusedRow])));
    }
  }
  return fields;
}

int RecordDecimals(FigureUnit unit) {
  switch (unit) {
    case Unit::kSixteenths:
      return 4;  // a sixteenth of a degree is 0.0625
    case Unit::kTenths:
      return 1;
    case Unit::kHundredths:
      return 2;
    default:
      return 0;
  }
}

std::int64_t RecordUnits(FigureUnit unit, std::int64_t number) {
  return unit == Unit::kSixteenths ? number * 625 : number;
}

std::string RecordText(const LedgerField& field) {
  if (!field.value.has) return "";
  if (field.unit == Unit::kTime) return IsoLocalTime(field.value.moment.time);
  const int decimals = RecordDecimals(field.unit);
  return ExactDecimal(RecordUnits(field.unit, field.value.number), decimals, decimals);
}

std::string MetricText(FigureUnit unit, std::int64_t number) {
  switch (unit) {
    case Unit::kMilliseconds:
    case Unit::kTime:
      return ExactDecimal(number, 3, 0);
    case Unit::kSixteenths:
      return ExactDecimal(number * 625, 4, 0);
    case Unit::kTenths:
      return ExactDecimal(number, 3, 0);  // tenths of a percent: thousandths of 1
    case Unit::kHundredths:
      return ExactDecimal(number, 4, 0);
    case Unit::kCount:
    case Unit::kFlag:
      break;
  }
  return std::to_string(number);
}

std::string ScreenText(const LedgerFigure& figure, const FigureValue& value) {
  if (!value.has) return "-";
  const std::int64_t n = value.number;
  switch (figure.unit) {
    case Unit::kMilliseconds: {
      // To 10 ms for intervals (the ledger's own step), to 100 ms for ages; halfway up.
      const std::int64_t unit = Power10(3 - figure.screen_decimals);
      return ExactDecimal((n + unit / 2) / unit, figure.screen_decimals, figure.screen_decimals);
    }
    case Unit::kSixteenths: {
      TextLine line;
      AppendTemperature(line, static_cast<int>(n));
      return line.c_str();
    }
    case Unit::kTenths:
      return ExactDecimal(n, 1, 1);
    case Unit::kHundredths:
      return ExactDecimal(n, 2, 2);
    case Unit::kTime:
      return IsoLocalTime(value.moment.time).substr(11, 8);
    case Unit::kCount:
    case Unit::kFlag:
      break;
  }
  return std::to_string(n);
}

ScreenTable MakeScreenTable(const LedgerSnapshot& s, bool by_delivery) {
  ScreenTable table;
  for (const LedgerFigure& f : SensorFigureTable()) {
    if (f.header != nullptr && (!f.sequence || s.run.facts.sequence_byte)) {
      table.columns.push_back(&f);
    }
  }
  for (int row = 0; row < kLedgerSensorRows; ++row) {
    if (s.rows[row].watched) table.rows.push_back(&s.rows[row]);
  }
  if (by_delivery) {
    std::stable_sort(table.rows.begin(), table.rows.end(),
                     [](const SensorFigures* a, const SensorFigures* b) {
                       return DeliveryKey(*a) < DeliveryKey(*b);
                     });
  }
  table.rows.push_back(&s.rows[kRefusedRow]);
  for (const SensorFigures* row : table.rows) {
    const bool refused = row->row == kRefusedRow;
    std::vector<std::string> cells;
    for (const LedgerFigure* f : table.columns) {
      if (refused && f == &SensorFigureTable().front()) {
        cells.emplace_back("32+");
      } else if (refused && f->refused_key == nullptr) {
        cells.emplace_back();
      } else {
        cells.push_back(ScreenText(*f, f->value(s, *row)));
      }
    }
    table.cells.push_back(std::move(cells));
  }
  return table;
}

void SortScreenTable(ScreenTable* table, const LedgerSnapshot& s, std::size_t column,
                     bool descending) {
  if (column >= table->columns.size() || table->rows.size() < 2) return;
  const LedgerFigure& f = *table->columns[column];
  // The sensors' rows by index; the refused row is the last and stays there.
  std::vector<std::size_t> order(table->rows.size() - 1);
  std::vector<FigureValue> values(order.size());
  for (std::size_t r = 0; r < order.size(); ++r) {
    order[r] = r;
    values[r] = f.value(s, *table->rows[r]);
  }
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    const FigureValue& x = values[a];
    const FigureValue& y = values[b];
    if (x.has != y.has) return x.has;
    if (!x.has || x.number == y.number) return false;
    return descending ? x.number > y.number : x.number < y.number;
  });
  order.push_back(table->rows.size() - 1);
  std::vector<const SensorFigures*> rows;
  std::vector<std::vector<std::string>> cells;
  for (std::size_t r : order) {
    rows.push_back(table->rows[r]);
    cells.push_back(std::move(table->cells[r]));
  }
  table->rows = std::move(rows);
  table->cells = std::move(cells);
}

std::string RunStatusText(const RunFigures& run) {
  const RunFacts& f = run.facts;
  if (!f.started) return "no run yet";
  std::string text = (f.active ? "run " : "run ended after ") +
                     HoursMinutesSeconds(run.duration_ms) + ": " + std::to_string(f.readings) +
                     " readings, " + std::to_string(run.watched) + " sensors";
  if (run.silent > 0) text += " (" + std::to_string(run.silent) + " silent)";
  text += ", " + std::to_string(f.errors[1] + f.errors[2]) + " error events";
  if (f.active && !f.port_up) text += "; receiver lost";
  return text;
}

std::string ExactDecimal(std::int64_t units, int decimals, int min_decimals) {
  const bool negative = units < 0;
  // The magnitude as unsigned, so that the most negative value is no overflow.
  const std::uint64_t magnitude =
      negative ? 0 - static_cast<std::uint64_t>(units) : static_cast<std::uint64_t>(units);
  const auto scale = static_cast<std::uint64_t>(Power10(decimals));
  std::string fraction = decimals > 0 ? std::to_string(magnitude % scale) : "";
  fraction.insert(0, static_cast<std::size_t>(decimals) - fraction.size(), '0');
  while (static_cast<int>(fraction.size()) > min_decimals && fraction.back() == '0') {
    fraction.pop_back();
  }
  std::string text = (negative ? "-" : "") + std::to_string(magnitude / scale);
  return fraction.empty() ? text : text + "." + fraction;
}

std::string IsoLocalTime(const LocalTime& t) {
  char text[48];
  std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03u", unsigned{t.year},
                unsigned{t.month}, unsigned{t.day}, unsigned{t.hour}, unsigned{t.minute},
                unsigned{t.second}, unsigned{t.milliseconds});
  return text;
}
