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
//   PREFIX/receiver                   "online" while the port is open and answering, "offline"
//                                     while it is lost or closed; retained
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
std::string ReceiverTopic(const std::string& prefix);
// The messages of one record of the event stream; a reading's values are written as its record
// writes them ("23.0625", "45.0"), from the values themselves.
std::vector<MqttMessage> RecordMessages(const EventRecord& record, const std::string& prefix);

// Seconds after which a hub should call the sensor's value stale: 3 x its median interval,
// rounded up to whole seconds; 0 while it has no median.
int ExpireAfterSeconds(const SensorFigures& sensor);
// What is announced for that need: a quarter more, so that a median that wanders about a
// whole second (a 1 s sensor's 999 and 1001 ms: 3 s and 4 s) does not announce the sensor
// again and again; a retained configuration sent again makes the hub reload the entity.
int ExpiryToAnnounce(int needed_s);
// Whether a sensor announced with announced_s (-1: not yet) must be announced again: only when
// the need has grown past what was announced. A need that shrinks keeps the longer expiry.
bool ExpiryMustGrow(int announced_s, int needed_s);
// The two retained discovery configurations of a sensor (temperature, humidity), under
// homeassistant/sensor/NODE/..., NODE made of the prefix. expire_after_s 0: left out.
std::vector<MqttMessage> DiscoveryMessages(const std::string& prefix, int sensor,
                                           int expire_after_s);
