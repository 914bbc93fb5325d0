#include "outputs/network/feed_record.h"

#include <cmath>
#include <nlohmann/json.hpp>

namespace {

// The value in whole units of 1/scale. The records write sixteenths and tenths as the shortest
// decimal that reads back as the same double, so the nearest whole unit is the exact one (0.3 x
// 10 is 3.0000000000000004 in doubles).
int Units(const nlohmann::json& value, int scale, std::string* text) {
  if (!value.is_number()) return FeedRecord::kNoValue;
  const double units = value.get<double>() * scale;
  if (!(std::fabs(units) < 1e9)) return FeedRecord::kNoValue;
  *text = value.dump();
  return static_cast<int>(std::lround(units));
}

}  // namespace

bool ParseFeedRecord(const std::string& line, FeedRecord* out) {
  const nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
  if (!j.is_object() || !j.contains("event") || !j["event"].is_string()) return false;
  FeedRecord r;
  r.text = line;
  r.event = j["event"].get<std::string>();
  if (j.contains("tick_ms") && j["tick_ms"].is_number_unsigned()) {
    r.tick_ms = j["tick_ms"].get<std::uint32_t>();
  }
  if (r.event == "reading" && j.contains("sensor") && j["sensor"].is_number_integer()) {
    r.sensor = j["sensor"].get<int>();
    r.temperature_sixteenths =
        Units(j.value("temperature_C", nlohmann::json()), 16, &r.temperature_text);
    r.humidity_tenths = Units(j.value("humidity_RH", nlohmann::json()), 10, &r.humidity_text);
  }
  *out = std::move(r);
  return true;
}
