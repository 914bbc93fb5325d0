#include "outputs/json_events.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "app/monitor_state.h"
#include "app/program_version.h"
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
  j["time"] = IsoOffsetTime(time);
  j["tick_ms"] = tick;
  return j;
}

Json Record(const char* event, const LedgerMoment& at) {
  return Record(event, at.time, at.tick);
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
      return IsoOffsetTime(f.value.moment.time);
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

// A number in decimal, at least width digits (zeros in front), as printf's %0*u writes it.
void AppendDecimal(std::int64_t value, int width, std::string* out) {
  char digits[24];  // backwards
  int n = 0;
  std::uint64_t magnitude =
      value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  while (n < width) digits[n++] = '0';
  if (value < 0) digits[n++] = '-';
  char text[sizeof digits];
  for (int i = 0; i < n; ++i) text[i] = digits[n - 1 - i];
  out->append(text, static_cast<std::size_t>(n));
}

}  // namespace

std::string HeaderJson(const LocalTime& time, std::uint32_t tick, const std::string& device,
                       std::uint32_t baud) {
  Json j = Record("header", time, tick);
  j["program"] = "wsmon";
  j["version"] = std::string(kProgramVersion);
  j["device"] = device;
  j["baud"] = baud;
  return Text(j);
}

std::string ReadingJson(const ReadingEvent& r) {
  // The commonest record by far, written straight in the very bytes that the JSON library
  // dumps for it (the values are exact decimals: CelsiusText, PercentText): a replay writes
  // millions of them.
  std::string s;
  s.reserve(256);
  const LocalTime& t = r.time;
  s += "{\"event\":\"reading\",\"time\":\"";
  const std::pair<unsigned, int> parts[] = {{t.year, 4},        {t.month, 2},  {t.day, 2},
                                            {t.hour, 2},        {t.minute, 2}, {t.second, 2},
                                            {t.milliseconds, 3}};
  const char separators[] = "--T::.";
  for (int i = 0; i < 7; ++i) {
    if (i > 0) s += separators[i - 1];
    AppendDecimal(parts[i].first, parts[i].second, &s);
  }
  const int offset = t.utc_offset_minutes;
  const unsigned magnitude = static_cast<unsigned>(offset < 0 ? -offset : offset);
  s += offset < 0 ? '-' : '+';
  AppendDecimal(magnitude / 60, 2, &s);
  s += ':';
  AppendDecimal(magnitude % 60, 2, &s);
  s += "\",\"tick_ms\":";
  AppendDecimal(r.tick, 1, &s);
  s += ",\"sensor\":";
  AppendDecimal(r.sensor_id, 1, &s);
  s += ",\"number\":";
  AppendDecimal(r.number, 1, &s);
  s += ",\"temperature_C\":";
  s += r.has_temperature ? CelsiusText(r.temperature_sixteenths) : "null";
  s += ",\"humidity_RH\":";
  s += r.has_humidity ? PercentText(r.humidity_tenths) : "null";
  s += ",\"interval_ms\":";
  if (r.has_interval) {
    AppendDecimal(r.interval_ms, 1, &s);
  } else {
    s += "null";
  }
  if (r.frame == nullptr) {
    s += ",\"extra_byte\":null,\"frame\":null}";
    return s;
  }
  s += ",\"extra_byte\":";
  AppendDecimal(r.frame[kExtraByte], 1, &s);
  s += ",\"frame\":\"" + Hex(r.frame, kFrameSize) + "\"}";
  return s;
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

std::string RecordsSkippedJson(const LedgerMoment& at, std::uint64_t count, std::uint64_t bytes,
                               const std::string& reason) {
  Json j = Record("records_skipped", at);
  j["count"] = count;
  j["bytes"] = bytes;
  j["reason"] = reason;
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
