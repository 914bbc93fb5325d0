#include "frontend/common/json_events.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "app/monitor_state.h"
#include "display/counters.h"

namespace {

// Keys stay in the order written, "event" first, so that a person can read the lines too.
using Json = nlohmann::ordered_json;

constexpr int kIdByte = 1;
constexpr int kExtraByte = 2;

std::string Text(const Json& record) {
  // Never throws: a byte that is not UTF-8 becomes U+FFFD.
  return record.dump(-1, ' ', false, Json::error_handler_t::replace);
}

Json Record(const char* event, const LocalTime& time, std::uint32_t tick) {
  Json j;
  j["event"] = event;
  j["time"] = IsoLocalTime(time);
  j["tick_ms"] = tick;
  return j;
}

Json Record(const char* event, const LedgerMoment& at) {
  return Record(event, at.time, at.tick);
}

// Exact: a sixteenth and a tenth print as the shortest decimal that reads back the same double,
// which for these is the exact decimal.
Json Celsius(int sixteenths) {
  return sixteenths / 16.0;
}
Json Percent(int tenths) {
  return tenths / 10.0;
}
Json HundredthsAsPercent(int hundredths) {
  return hundredths / 100.0;
}

std::string Hex(const std::uint8_t* bytes, int count) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string s;
  for (int i = 0; i < count; ++i) {
    if (i > 0) s += ' ';
    s += kDigits[bytes[i] >> 4];
    s += kDigits[bytes[i] & 0x0F];
  }
  return s;
}

// A value that may be missing: null when not.
template <typename T>
Json Maybe(bool has, const T& value) {
  return has ? Json(value) : Json(nullptr);
}

Json Seen(const SensorTally& t, const LedgerMoment& moment) {
  return t.frames > 0 ? Json(IsoLocalTime(moment.time)) : Json(nullptr);
}

Json RunObject(const RunFigures& run) {
  const RunFacts& f = run.facts;
  Json j;
  j["active"] = f.active;
  j["start_time"] = Maybe(f.started, IsoLocalTime(f.start.time));
  j["start_tick_ms"] = Maybe(f.started, f.start.tick);
  j["end_time"] = Maybe(f.started && !f.active, IsoLocalTime(f.end.time));
  j["duration_ms"] = run.duration_ms;
  j["sensor_count"] = f.sensor_count;
  j["sequence_byte"] = f.sequence_byte;
  j["port_up"] = f.port_up;
  j["outages"] = f.outages;
  j["outage_ms"] = run.outage_total_ms;
  j["readings"] = f.readings;
  Json errors = Json::object();
  for (int code = 1; code <= kLedgerErrorCodes; ++code) {
    errors["ERR" + std::to_string(code)] = f.errors[code];
  }
  j["errors"] = errors;
  j["stray_bytes"] = f.stray_bytes;
  j["watched"] = run.watched;
  j["silent"] = run.silent;
  return j;
}

Json SensorObject(const SensorFigures& s) {
  const SensorTally& t = s.tally;
  const bool has_intervals = t.intervals > 0;
  const bool has_temperature = t.frames > t.no_temperature;
  const bool has_humidity = t.frames > t.no_humidity;
  const bool sequence = s.has_sequence_delivery;
  Json j;
  j["sensor"] = s.row;
  j["readings"] = t.frames;
  j["no_temperature"] = t.no_temperature;
  j["no_humidity"] = t.no_humidity;
  j["bad_checks"] = t.bad_checks;
  j["first_seen"] = Seen(t, t.first_seen);
  j["last_seen"] = Seen(t, t.last_seen);
  j["age_ms"] = Maybe(s.has_age, s.age_ms);
  j["silent"] = s.silent;
  j["same_poll"] = t.same_poll;
  j["intervals"] = t.intervals;
  j["interval_min_ms"] = Maybe(has_intervals, t.interval_min_ms);
  j["interval_median_ms"] = Maybe(s.has_median, s.interval_median_ms);
  j["interval_p95_ms"] = Maybe(s.has_median, s.interval_p95_ms);
  j["interval_max_ms"] = Maybe(has_intervals, t.interval_max_ms);
  j["gaps"] = s.gaps;
  j["missed"] = s.missed;
  j["missed_open"] = s.missed_open;
  j["delivery_percent"] =
      s.has_delivery ? HundredthsAsPercent(s.delivery_hundredths) : Json(nullptr);
  j["temperature_min_C"] = has_temperature ? Celsius(t.temperature_min_sixteenths) : nullptr;
  j["temperature_max_C"] = has_temperature ? Celsius(t.temperature_max_sixteenths) : nullptr;
  j["temperature_last_C"] = has_temperature ? Celsius(t.temperature_last_sixteenths) : nullptr;
  j["humidity_min_RH"] = has_humidity ? Percent(t.humidity_min_tenths) : nullptr;
  j["humidity_max_RH"] = has_humidity ? Percent(t.humidity_max_tenths) : nullptr;
  j["humidity_last_RH"] = has_humidity ? Percent(t.humidity_last_tenths) : nullptr;
  j["implausible_temperatures"] = t.implausible_temperatures;
  j["implausible_humidities"] = t.implausible_humidities;
  j["sequence_lost"] = Maybe(sequence, t.sequence_lost);
  j["sequence_duplicates"] = Maybe(sequence, t.sequence_duplicates);
  j["sequence_delivery_percent"] =
      sequence ? HundredthsAsPercent(s.sequence_delivery_hundredths) : Json(nullptr);
  return j;
}

Json RefusedObject(const SensorFigures& s) {
  const SensorTally& t = s.tally;
  Json j;
  j["frames"] = t.frames;
  j["bad_checks"] = t.bad_checks;
  j["first_seen"] = Seen(t, t.first_seen);
  j["last_seen"] = Seen(t, t.last_seen);
  j["age_ms"] = Maybe(s.has_age, s.age_ms);
  return j;
}

}  // namespace

std::string IsoLocalTime(const LocalTime& t) {
  char text[48];
  std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03u", unsigned{t.year},
                unsigned{t.month}, unsigned{t.day}, unsigned{t.hour}, unsigned{t.minute},
                unsigned{t.second}, unsigned{t.milliseconds});
  return text;
}

std::string ReadingJson(const ReadingEvent& r) {
  Json j = Record("reading", r.time, r.tick);
  j["sensor"] = r.sensor_id;
  j["number"] = r.number;
  j["temperature_C"] = r.has_temperature ? Celsius(r.temperature_sixteenths) : nullptr;
  j["humidity_RH"] = r.has_humidity ? Percent(r.humidity_tenths) : nullptr;
  j["interval_ms"] = Maybe(r.has_interval, r.interval_ms);
  j["extra_byte"] = Maybe(r.frame != nullptr, r.frame != nullptr ? r.frame[kExtraByte] : 0);
  j["frame"] = Maybe(r.frame != nullptr, r.frame != nullptr ? Hex(r.frame, kFrameSize) : "");
  return Text(j);
}

std::string ErrorJson(const ErrorEvent& e) {
  Json j = Record("error", e.time, e.tick);
  j["code"] = "ERR" + std::to_string(e.code);
  j["number"] = e.number;
  const bool framed = (e.code == kErrBadCheck || e.code == kErrSensorId) && e.bytes != nullptr &&
                      e.byte_count > kIdByte;
  j["sensor"] = Maybe(framed, framed ? e.bytes[kIdByte] : 0);
  j["stray_bytes"] = Maybe(e.code == kErrStrayBytes, e.arg);
  j["bytes"] = Maybe(e.bytes != nullptr && e.byte_count > 0,
                     e.bytes != nullptr ? Hex(e.bytes, e.byte_count) : "");
  j["line"] = Maybe(e.line != nullptr, e.line != nullptr ? e.line : "");
  return Text(j);
}

std::string RunStartedJson(const LedgerMoment& at, int sensor_count, bool sequence_byte) {
  Json j = Record("run_started", at);
  j["sensor_count"] = sensor_count;
  j["sequence_byte"] = sequence_byte;
  return Text(j);
}

std::string RunStoppedJson(const LedgerMoment& at, std::uint32_t duration_ms) {
  Json j = Record("run_stopped", at);
  j["duration_ms"] = duration_ms;
  return Text(j);
}

std::string ExportJson(const LedgerMoment& at, const char* file_name) {
  Json j = Record("export", at);
  j["file"] = Maybe(file_name != nullptr, file_name != nullptr ? file_name : "");
  return Text(j);
}

std::string PortLostJson(const PortEvent& e) {
  return Text(Record("port_lost", e.time, e.tick));
}

std::string PortBackJson(const PortEvent& e) {
  Json j = Record("port_back", e.time, e.tick);
  j["outage_ms"] = e.outage_ms;
  return Text(j);
}

std::string RecordsDroppedJson(const LedgerMoment& at, std::uint64_t count) {
  Json j = Record("records_dropped", at);
  j["count"] = count;
  return Text(j);
}

std::string LedgerJson(const LedgerSnapshot& s, const LocalTime& time) {
  Json j = Record("ledger", time, s.at_tick);
  j["run"] = RunObject(s.run);
  Json sensors = Json::array();
  for (int row = 0; row < kLedgerSensorRows; ++row) {
    if (s.rows[row].watched) sensors.push_back(SensorObject(s.rows[row]));
  }
  j["sensors"] = sensors;
  j["refused"] = RefusedObject(s.rows[kRefusedRow]);
  return Text(j);
}

std::string RunJson(const RunFigures& run) {
  return Text(RunObject(run));
}

std::string SensorJson(const SensorFigures& sensor) {
  return Text(SensorObject(sensor));
}

std::string RefusedJson(const SensorFigures& refused) {
  return Text(RefusedObject(refused));
}
