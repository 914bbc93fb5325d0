#include "outputs/json_events.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "app/monitor_state.h"
#include "display/counters.h"
#include "ledger/ledger_table.h"

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
// which for these is the exact decimal (CelsiusText and PercentText).
Json Celsius(int sixteenths) {
  return sixteenths / 16.0;
}
Json Percent(int tenths) {
  return tenths / 10.0;
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

// A field as a JSON value: numbers stay numbers, a decimal the double nearest to it (for the
// sixteenths, tenths and hundredths the library prints back as that very decimal), a time as
// its text, a value the ledger does not have as null.
Json FieldValue(const LedgerField& f) {
  if (!f.value.has) return nullptr;
  switch (f.unit) {
    case FigureUnit::kFlag:
      return f.value.number != 0;
    case FigureUnit::kTime:
      return IsoLocalTime(f.value.moment.time);
    case FigureUnit::kCount:
    case FigureUnit::kMilliseconds:
      return f.value.number;
    default:
      break;
  }
  double scale = 1;
  for (int i = 0; i < RecordDecimals(f.unit); ++i) scale *= 10;
  return static_cast<double>(RecordUnits(f.unit, f.value.number)) / scale;
}

// The fields as one object, in their order; a group's fields go into an object of its name.
Json FieldsObject(const std::vector<LedgerField>& fields) {
  Json j = Json::object();
  for (const LedgerField& f : fields) {
    if (f.group != nullptr) {
      j[f.group][f.key] = FieldValue(f);
    } else {
      j[f.key] = FieldValue(f);
    }
  }
  return j;
}

}  // namespace

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

std::string CelsiusText(int sixteenths) {
  return ExactDecimal(std::int64_t{sixteenths} * 625, 4, 1);
}

std::string PercentText(int tenths) {
  return ExactDecimal(tenths, 1, 1);
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

std::string MonitorStallJson(const StallEvent& e) {
  Json j = Record("monitor_stall", e.time, e.tick);
  j["late_ms"] = e.late_ms;
  return Text(j);
}

std::string RecordsDroppedJson(const LedgerMoment& at, std::uint64_t count) {
  Json j = Record("records_dropped", at);
  j["count"] = count;
  return Text(j);
}

std::string LedgerJson(const LedgerSnapshot& s, const LocalTime& time) {
  Json j = Record("ledger", time, s.at_tick);
  j["run"] = FieldsObject(RunFields(s));
  Json sensors = Json::array();
  for (int row = 0; row < kLedgerSensorRows; ++row) {
    if (s.rows[row].watched) sensors.push_back(FieldsObject(SensorFields(s, row)));
  }
  j["sensors"] = sensors;
  j["refused"] = FieldsObject(RefusedFields(s));
  return Text(j);
}
