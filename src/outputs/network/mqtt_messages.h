// What the MQTT publisher sends, as plain values: the topics and payloads of each record, and the
// discovery configurations that let a home automation hub (Home Assistant's MQTT discovery) make
// an entity of each sensor's temperature and humidity.
//
// Topics under PREFIX:
//   PREFIX/sensors/ID/temperature_C   a reading's temperature, an exact decimal ("23.0625")
//   PREFIX/sensors/ID/humidity_RH     a reading's humidity ("45.6")
//   PREFIX/events                     every record of the event stream but the ledger's
//   PREFIX/stats                      the ledger's record (every 60 s of a run, and at its end)
//   PREFIX/availability               "online" / "offline", retained; "offline" is also the
//                                     will, which the broker sends when wsmon ends uncleanly
// A value the sensor did not send is not published.
#pragma once

#include <string>
#include <vector>

#include "ledger/ledger_figures.h"
#include "outputs/event_record.h"

struct MqttMessage {
  std::string topic;
  std::string payload;
  int qos = 0;
  bool retain = false;
};

std::string AvailabilityTopic(const std::string& prefix);
// The messages of one record of the event stream; a reading's values are written as its record
// writes them ("23.0625", "45.0"), from the values themselves.
std::vector<MqttMessage> RecordMessages(const EventRecord& record, const std::string& prefix);

// Seconds after which a hub should call the sensor's value stale: 3 x its median interval,
// rounded up to whole seconds; 0 while it has no median.
int ExpireAfterSeconds(const SensorFigures& sensor);
// The two retained discovery configurations of a sensor (temperature, humidity), under
// homeassistant/sensor/NODE/..., NODE made of the prefix. expire_after_s 0: left out.
std::vector<MqttMessage> DiscoveryMessages(const std::string& prefix, int sensor,
                                           int expire_after_s);
