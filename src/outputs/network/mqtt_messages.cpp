#include "outputs/network/mqtt_messages.h"

#include <nlohmann/json.hpp>

#include "app/program_version.h"
#include "outputs/json_events.h"

namespace {

// A node id of discovery topics holds letters, digits, _ and - only.
std::string NodeId(const std::string& prefix) {
  std::string node = prefix;
  for (char& c : node) {
    const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '_' || c == '-';
    if (!kept) c = '_';
  }
  return node;
}

std::string SensorTopic(const std::string& prefix, int sensor, const char* quantity) {
  return prefix + "/sensors/" + std::to_string(sensor) + "/" + quantity;
}

struct Quantity {
  const char* key;    // object id and name
  const char* topic;  // the state topic's last level
  const char* device_class;
  const char* unit;
};

const Quantity kQuantities[] = {
    {"temperature", "temperature_C", "temperature",
     "\xC2\xB0"
     "C"},
    {"humidity", "humidity_RH", "humidity", "%"},
};

}  // namespace

std::string AvailabilityTopic(const std::string& prefix) {
  return prefix + "/availability";
}

std::string ReceiverTopic(const std::string& prefix) {
  return prefix + "/receiver";
}

std::vector<MqttMessage> RecordMessages(const EventRecord& record, const std::string& prefix) {
  std::vector<MqttMessage> messages;
  if (record.kind == EventRecord::Kind::kLedger) {
    messages.push_back({prefix + "/stats", record.text});
    return messages;
  }
  if (record.kind == EventRecord::Kind::kReading && record.sensor >= 0) {
    if (record.has_temperature) {
      messages.push_back({SensorTopic(prefix, record.sensor, "temperature_C"),
                          CelsiusText(record.temperature_sixteenths)});
    }
    if (record.has_humidity) {
      messages.push_back(
          {SensorTopic(prefix, record.sensor, "humidity_RH"), PercentText(record.humidity_tenths)});
    }
  }
  messages.push_back({prefix + "/events", record.text});
  return messages;
}

int ExpireAfterSeconds(const SensorFigures& sensor) {
  if (!sensor.has_median) return 0;
  const std::uint64_t ms = std::uint64_t{sensor.interval_median_ms} * 3;
  const std::uint64_t seconds = (ms + 999) / 1000;
  return seconds == 0 ? 1 : static_cast<int>(seconds);
}

int ExpiryToAnnounce(int needed_s) {
  return needed_s + (needed_s + 3) / 4;
}

bool ExpiryMustGrow(int announced_s, int needed_s) {
  return announced_s < 0 || needed_s > announced_s;
}

std::vector<MqttMessage> DiscoveryMessages(const std::string& prefix, int sensor,
                                           int expire_after_s) {
  using Json = nlohmann::ordered_json;
  const std::string node = NodeId(prefix);
  const std::string id = std::to_string(sensor);
  std::vector<MqttMessage> messages;
  for (const Quantity& q : kQuantities) {
    const std::string object = "sensor" + id + "_" + q.key;
    Json config;
    config["name"] = q.key;
    config["unique_id"] = node + "_" + object;
    config["state_topic"] = SensorTopic(prefix, sensor, q.topic);
    config["availability_topic"] = AvailabilityTopic(prefix);
    config["device_class"] = q.device_class;
    config["unit_of_measurement"] = q.unit;
    config["state_class"] = "measurement";
    if (expire_after_s > 0) config["expire_after"] = expire_after_s;
    Json device;
    device["identifiers"] = Json::array({node + "_sensor" + id});
    device["name"] = prefix + " sensor " + id;
    device["sw_version"] = std::string(kProgramVersion);
    config["device"] = device;
    messages.push_back({"homeassistant/sensor/" + node + "/" + object + "/config",
                        config.dump(-1, ' ', false, Json::error_handler_t::replace), 1, true});
  }
  return messages;
}
