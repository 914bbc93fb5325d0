// The parts of the network outputs that a wrong byte would break without any network: the
// accepted addresses, topic prefixes and token files, the token check, the Prometheus text of a
// ledger, the MQTT messages of a record, the event hub's bounds, and the road from the monitor's
// thread through the feed's pipe.
#include <sys/stat.h>

#include <algorithm>
#include <condition_variable>
#include <fstream>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "app/monitor_state.h"
#include "display/counters.h"
#include "ledger/ledger.h"
#include "ledger/ledger_table.h"
#include "ledger_events.h"
#include "outputs/json_events.h"
#include "outputs/network/event_hub.h"
#include "outputs/network/feed_queue.h"
#include "outputs/network/http_auth.h"
#include "outputs/network/mqtt_messages.h"
#include "outputs/network/mqtt_outbox.h"
#include "outputs/network/network_options.h"
#include "outputs/network/prometheus_text.h"
#include "outputs/network/request_gate.h"
#include "outputs/record_stream.h"
#include "reception/reading_fanout.h"
#include "support.h"
#include "support/fakes/manual_clock.h"

namespace {

using nlohmann::json;

std::string Http(const std::string& text) {
  HttpEndpoint e;
  std::string error;
  if (!ParseHttpEndpoint(text, &e, &error)) return "refused";
  return e.address + " " + std::to_string(e.port) + (e.ipv6 ? " v6" : "") +
         (e.loopback ? " loopback" : "");
}

std::string Mqtt(const std::string& text) {
  MqttEndpoint e;
  std::string error;
  return ParseMqttEndpoint(text, &e, &error) ? e.host + " " + std::to_string(e.port) : "refused";
}

TEST(NetworkOptions, AddressesAreLoopbackUnlessNamedAndEveryOtherFormIsRefused) {
  const std::pair<const char*, const char*> http[] = {
      {"9100", "127.0.0.1 9100 loopback"},     {"0", "127.0.0.1 0 loopback"},
      {"0.0.0.0:9100", "0.0.0.0 9100"},        {"localhost:80", "127.0.0.1 80 loopback"},
      {"127.8.9.1:5", "127.8.9.1 5 loopback"}, {"192.168.1.7:9100", "192.168.1.7 9100"},
      {"[::1]:9100", "::1 9100 v6 loopback"},  {"[::]:9100", ":: 9100 v6"}};
  for (const auto& [text, said] : http) EXPECT_EQ(Http(text), said) << text;
  for (const char* refused : {"65536", "lab-host:9100", "::1:9100", "[::1]", "1.2.3.4:", ":9100",
                              "1.2.3.4:x", "[1.2.3.4]:80", ""}) {
    EXPECT_EQ(Http(refused), "refused") << refused;
  }
  const std::pair<const char*, const char*> mqtt[] = {{"broker", "broker 1883"},
                                                      {"broker.lab:1884", "broker.lab 1884"},
                                                      {"[::1]:8883", "::1 8883"},
                                                      {"10.0.0.1", "10.0.0.1 1883"}};
  for (const auto& [text, said] : mqtt) EXPECT_EQ(Mqtt(text), said) << text;
  for (const char* refused : {"", "broker:0", "broker:65536", "[::1", "a b", "::1"}) {
    EXPECT_EQ(Mqtt(refused), "refused") << refused;
  }
  std::string error;
  for (const char* bad : {"", "a/+/b", "a/#", "/a", "a/", "a//b", "a\xFF"}) {
    EXPECT_FALSE(CheckTopicPrefix(bad, &error)) << bad;
  }
  EXPECT_TRUE(CheckTopicPrefix("lab/bench 1/温度", &error));
  EXPECT_TRUE(CheckTopicPrefix(DefaultTopicPrefix(), &error)) << DefaultTopicPrefix();
}

TEST(NetworkOptions, TheTokenFileMustBeTheOwnersAloneAndHoldOneToken) {
  ScratchDirectory dir;
  struct Case {
    const char* content;
    mode_t mode;
    const char* token;  // nullptr: refused
  };
  const Case cases[] = {
      {"s3cret\n", 0600, "s3cret"}, {"  s3cret \r\nsecond line\n", 0400, "s3cret"},
      {"s3cret", 0640, nullptr},    {"s3cret", 0604, nullptr},
      {"\n", 0600, nullptr},        {"two words\n", 0600, nullptr}};
  int n = 0;
  for (const Case& c : cases) {
    const std::string path = dir.File("token" + std::to_string(n++));
    std::ofstream(path) << c.content;
    ::chmod(path.c_str(), c.mode);
    std::string token;
    std::string error;
    const bool read = ReadTokenFile(path, &token, &error);
    EXPECT_EQ(read, c.token != nullptr) << c.content << " " << error;
    if (read) {
      EXPECT_EQ(token, c.token);
    }
  }
  std::string token;
  std::string error;
  EXPECT_FALSE(ReadTokenFile(dir.path(), &token, &error));
  EXPECT_FALSE(ReadTokenFile(dir.File("none"), &token, &error));
  EXPECT_THAT(error, HasSubstr("No such file"));
}

TEST(HttpAuth, OnlyTheWholeTokenPassesAsBearerOrAsTheBasicPassword) {
  const std::string token = "s3cret";
  // Basic: anyone:s3cret, then :s3cret unpadded; refused, s3cret without a user's colon.
  for (const char* passes :
       {"Bearer s3cret", "bearer  s3cret ", "Basic YW55b25lOnMzY3JldA==", "Basic OnMzY3JldA"}) {
    EXPECT_TRUE(Authorized(passes, token)) << passes;
  }
  for (const char* refused : {"Bearer s3cre", "Bearer s3cretX", "Bearer", "Bearers3cret", "s3cret",
                              "Basic czNjcmV0", "Basic YW55b25lOnMzY3JldA=!", ""}) {
    EXPECT_FALSE(Authorized(refused, token)) << refused;
  }
  EXPECT_FALSE(SameSecret("", "a"));
  EXPECT_TRUE(SameSecret("", ""));
}

TEST(RequestGate, AHeadIsWholeAtItsEmptyLineWithOrWithoutCarriageReturns) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"GET / HTTP/1.1\r\nHost: a\r\n\r\n", true},
      {"GET / HTTP/1.0\n\n", true},
      {"GET / HTTP/1.1\r\nHost: a\r\n", false},
      {"GET / HTTP/1.1\r\n\r", false},
      {"\r\n", false}};
  for (const auto& [bytes, whole] : cases) {
    EXPECT_EQ(RequestGate::HeadComplete(bytes.data(), bytes.size()), whole) << bytes;
  }
}

TEST(PrometheusText, DecimalsAreExactFromTheirWholeUnits) {
  const std::tuple<std::int64_t, int, int, const char*> cases[] = {
      {4560, 4, 0, "0.456"}, {-1, 4, 0, "-0.0001"},
      {1500, 3, 0, "1.5"},   {2000, 3, 0, "2"},
      {0, 3, 0, "0"},        {-11 * 625, 4, 0, "-0.6875"},
      {7, 0, 0, "7"},        {INT64_MIN, 3, 0, "-9223372036854775.808"},
      {230, 1, 1, "23.0"},   {368, 4, 4, "0.0368"}};
  for (const auto& [units, decimals, least, text] : cases) {
    EXPECT_EQ(ExactDecimal(units, decimals, least), text);
  }
}

// Every sample of a text by its name and labels; fails the test on a family whose samples are
// apart, or that comes without its HELP and TYPE lines first.
std::map<std::string, std::string> Samples(const std::string& text) {
  std::map<std::string, std::string> samples;
  std::set<std::string> families;
  std::string family;
  const std::regex sample(R"(^(\w+)(\{[^}]*\})? (\S+)$)");
  std::istringstream in(text);
  for (std::string line, help; std::getline(in, line);) {
    std::smatch m;
    if (line.rfind("# HELP ", 0) == 0) {
      help = line.substr(7, line.find(' ', 7) - 7);
      EXPECT_TRUE(families.insert(help).second) << "a second family " << help;
    } else if (line.rfind("# TYPE ", 0) == 0) {
      family = line.substr(7, line.find(' ', 7) - 7);
      EXPECT_EQ(family, help);
      const std::string type = line.substr(line.rfind(' ') + 1);
      EXPECT_EQ(type == "counter",
                family.size() > 6 && family.substr(family.size() - 6) == "_total")
          << family;
    } else if (std::regex_match(line, m, sample)) {
      EXPECT_EQ(m[1].str(), family) << line;
      samples[m[1].str() + m[2].str()] = m[3].str();
    } else {
      ADD_FAILURE() << "not a sample: " << line;
    }
  }
  return samples;
}

TEST(PrometheusText, TheLedgerShowsInBaseUnitsAndMissingValuesAreLeftOut) {
  ResetMonitorState();
  g_state.sensor_count = 2;
  ManualClock clock;
  Ledger ledger(&clock);
  ledger.OnRunStarted();
  const Bytes three = MakeFrame(3, 0, 0x0171, 0x01C8);
  // Sensor 3 every 5 s, its third reading without a temperature; sensor 1 never.
  ledger.OnReading(ReadingOf(three, 1000, 369, 456));
  ledger.OnReading(ReadingOf(three, 6000, -11, 1000));
  ledger.OnReading(ReadingOf(three, 11000, std::nullopt, 5));
  const Bytes bad = MakeFrame(3, 0, 0, 0), strays(4, 0x11);
  ledger.OnError(ErrorOf(kErrBadCheck, bad, 12000));
  ledger.OnError(ErrorOf(kErrStrayBytes, strays, 12000));
  NetworkSnapshot s;
  ledger.Snapshot(14500, s.ledger);
  s.taken_tick = 15000;
  s.epoch_ms = 1775286300000;  // at tick 15000
  s.port_open = true;
  OutputHealth health;
  health.http = true;
  health.events_clients = 2;
  const std::map<std::string, std::string> m = Samples(PrometheusText(s, health));
  const std::pair<const char*, const char*> expected[] = {
      {"wsmon_run_active", "1"},
      {"wsmon_port_up", "1"},
      {"wsmon_frames_total", "3"},
      {"wsmon_error_events_total", "2"},
      {"wsmon_frame_errors_total{code=\"ERR2\"}", "1"},
      {"wsmon_frame_errors_total{code=\"ERR4\"}", "0"},
      {"wsmon_stray_bytes_total", "4"},
      {"wsmon_run_duration_seconds", "14.5"},
      {"wsmon_run_start_timestamp_seconds", "1775286285"},
      {"wsmon_readings_total{sensor=\"3\"}", "3"},
      {"wsmon_readings_total{sensor=\"1\"}", "0"},
      {"wsmon_readings_without_value_total{sensor=\"3\",quantity=\"temperature\"}", "1"},
      {"wsmon_bad_checks_total{sensor=\"3\"}", "1"},
      // The latest value that came: the third reading had none.
      {"wsmon_temperature_celsius{sensor=\"3\"}", "-0.6875"},
      {"wsmon_humidity_ratio{sensor=\"3\"}", "0.005"},
      {"wsmon_last_reading_timestamp_seconds{sensor=\"3\"}", "1775286296"},
      {"wsmon_sensor_age_seconds{sensor=\"3\"}", "3.5"},
      {"wsmon_interval_median_seconds{sensor=\"3\"}", "5"},
      {"wsmon_sensor_delivery_ratio{sensor=\"3\"}", "1"},
      {"wsmon_implausible_values_total{sensor=\"3\",quantity=\"humidity\"}", "0"},
      {"wsmon_sensor_silent{sensor=\"1\"}", "1"},
      {"wsmon_sensors_watched", "3"},
      {"wsmon_http_events_clients", "2"}};
  for (const auto& [name, value] : expected) {
    const auto found = m.find(name);
    ASSERT_NE(found, m.end()) << name;
    EXPECT_EQ(found->second, value) << name;
  }
  // Sensor 1 sent nothing: no value of its is made up, and the sequence byte is off.
  for (const char* absent :
       {"wsmon_temperature_celsius{sensor=\"1\"}", "wsmon_interval_median_seconds{sensor=\"1\"}",
        "wsmon_readings_total{sensor=\"2\"}", "wsmon_sequence_lost_total{sensor=\"3\"}",
        "wsmon_mqtt_connected"}) {
    EXPECT_EQ(m.count(absent), 0u) << absent;
  }
}

// A record of the stream: its line, and a reading's values (nullopt: not sent).
EventRecord Record(EventRecord::Kind kind, const std::string& text, int sensor = -1,
                   std::optional<int> sixteenths = std::nullopt,
                   std::optional<int> tenths = std::nullopt) {
  EventRecord r;
  r.kind = kind;
  r.text = text;
  r.sensor = sensor;
  r.tick_ms = static_cast<std::uint32_t>(sixteenths.value_or(0));
  r.has_temperature = sixteenths.has_value();
  r.temperature_sixteenths = sixteenths.value_or(0);
  r.has_humidity = tenths.has_value();
  r.humidity_tenths = tenths.value_or(0);
  return r;
}

TEST(MqttMessages, EachRecordGoesToItsTopicsWithTheValuesItHas) {
  using Kind = EventRecord::Kind;
  struct Case {
    EventRecord record;
    std::vector<std::pair<std::string, std::string>> messages;
  };
  const Case cases[] = {{Record(Kind::kReading, "R3", 3, -5, 456),
                         {{"p/q/sensors/3/temperature_C", "-0.3125"},
                          {"p/q/sensors/3/humidity_RH", "45.6"},
                          {"p/q/events", "R3"}}},
                        {Record(Kind::kReading, "R12", 12, std::nullopt, 0),
                         {{"p/q/sensors/12/humidity_RH", "0.0"}, {"p/q/events", "R12"}}},
                        {Record(Kind::kLedger, "L"), {{"p/q/stats", "L"}}},
                        {Record(Kind::kPortLost, "P"), {{"p/q/events", "P"}}}};
  for (const Case& c : cases) {
    std::vector<std::pair<std::string, std::string>> got;
    for (const MqttMessage& m : RecordMessages(c.record, "p/q")) {
      EXPECT_FALSE(m.retain);
      got.emplace_back(m.topic, m.payload);
    }
    EXPECT_EQ(got, c.messages) << c.record.text;
  }
}

// A value's payload is the very number its record holds, for every value a frame can carry.
TEST(MqttMessages, ValuesAreWrittenAsTheirRecordsWriteThem) {
  for (int sixteenths = -32768; sixteenths <= 32767; ++sixteenths) {
    ASSERT_EQ(CelsiusText(sixteenths), json(sixteenths / 16.0).dump()) << sixteenths;
  }
  for (int tenths = 0; tenths <= 65535; ++tenths) {
    ASSERT_EQ(PercentText(tenths), json(tenths / 10.0).dump()) << tenths;
  }
}

TEST(MqttMessages, DiscoveryExpiresAfterThreeMediansInWholeSeconds) {
  const std::pair<std::uint32_t, int> expiries[] = {
      {0, 1}, {333, 1}, {334, 2}, {5000, 15}, {5001, 16}};
  for (const auto& [median, seconds] : expiries) {
    SensorFigures f;
    f.has_median = true;
    f.interval_median_ms = median;
    EXPECT_EQ(ExpireAfterSeconds(f), seconds) << median;
  }
  EXPECT_EQ(ExpireAfterSeconds(SensorFigures{}), 0);
  const std::vector<MqttMessage> later = DiscoveryMessages("wsmon/lab-7.b", 4, 16);
  ASSERT_EQ(later.size(), 2u);
  EXPECT_EQ(later[0].topic, "homeassistant/sensor/wsmon_lab-7_b/sensor4_temperature/config");
  EXPECT_EQ(later[1].topic, "homeassistant/sensor/wsmon_lab-7_b/sensor4_humidity/config");
  EXPECT_TRUE(later[0].retain && later[0].qos == 1);
  EXPECT_THAT(later[0].payload,
              HasSubstr(R"("state_topic":"wsmon/lab-7.b/sensors/4/temperature_C")"));
  EXPECT_THAT(later[1].payload, HasSubstr(R"("expire_after":16)"));
  EXPECT_THAT(DiscoveryMessages("p", 4, 0)[0].payload, Not(HasSubstr("expire_after")));
}

// The hub reloads an entity for every configuration: a 1 s sensor whose median wanders about a
// second is announced once; one whose interval grows past the announced expiry again.
TEST(MqttMessages, ASensorIsAnnouncedAgainOnlyWhenItsExpiryMustGrow) {
  struct Case {
    std::vector<std::uint32_t> medians;
    std::vector<int> announced;
  };
  const Case cases[] = {{{999, 1001, 999, 1001, 1000, 998, 1002}, {4}},
                        {{1001, 999, 1001}, {5}},
                        {{1000, 2000, 1500, 4000}, {4, 8, 15}},
                        {{60000, 1000}, {225}}};
  for (const Case& c : cases) {
    int announced = -1;
    std::vector<int> got;
    for (std::uint32_t median : c.medians) {
      SensorFigures f;
      f.has_median = true;
      f.interval_median_ms = median;
      const int needed = ExpireAfterSeconds(f);
      if (!ExpiryMustGrow(announced, needed)) continue;
      announced = ExpiryToAnnounce(needed);
      got.push_back(announced);
    }
    EXPECT_EQ(got, c.announced) << c.medians.front();
  }
}

TEST(MqttOutbox, TheOldestWholeRecordsMakeRoomAndAreCounted) {
  const auto record = [](const std::string& name, int messages) {
    return std::vector<MqttMessage>(messages, MqttMessage{"t", name, 1, false});
  };
  const std::size_t cost = MqttOutbox::Cost({"t", "a", 1, false});
  MqttOutbox box(5 * cost);
  EXPECT_EQ(box.Push(record("a", 2)), 0u);
  EXPECT_EQ(box.Push(record("b", 2)), 0u);
  box.Sent();                               // half of "a" has gone: the rest must follow it
  EXPECT_EQ(box.Push(record("c", 2)), 1u);  // "b" makes room
  EXPECT_EQ(box.Push(record("d", 9)), 1u);  // larger than the room: dropped itself
  EXPECT_EQ(box.dropped_messages(), 2u + 9u);
  std::string order;
  for (; !box.empty(); box.Sent()) order += box.Next().payload;
  EXPECT_EQ(order, "acc");
  EXPECT_EQ(box.bytes(), 0u);
}

// An hour of 32 readings a second, each a reading record and its two values, waits whole.
TEST(MqttOutbox, AnHourOfReadingsFitsTheDefaultRoom) {
  ReadingEvent reading;
  reading.sensor_id = 31;
  reading.number = 99999;
  reading.tick = 4000000000u;
  reading.time = {2026, 12, 4, 31, 23, 59, 59, 999};
  reading.has_temperature = reading.has_humidity = true;
  reading.temperature_sixteenths = -32768;
  reading.humidity_tenths = 65535;
  const std::uint8_t frame[9] = {0xCC, 31, 0xFF, 0, 0x80, 0xFF, 0xFF, 0, 0xDD};
  reading.frame = frame;
  EventRecord r = Record(EventRecord::Kind::kReading, ReadingJson(reading), 31, -32768, 65535);
  MqttOutbox box;
  const std::vector<MqttMessage> messages = RecordMessages(r, "wsmon/a-long-bench-name/bench1");
  std::uint64_t dropped = 0;
  for (int i = 0; i < 3600 * 32; ++i) dropped += box.Push(messages);
  EXPECT_EQ(dropped, 0u);
  EXPECT_EQ(box.records(), 3600u * 32u);
}

EventRecord Line(const std::string& text, int sensor = -1, int sixteenths = 0) {
  return sensor >= 0 ? Record(EventRecord::Kind::kReading, text, sensor, sixteenths)
                     : Record(EventRecord::Kind::kError, text);
}

TEST(EventHub, AReaderThatFallsBehindIsDroppedAndTheOthersGetEveryRecord) {
  EventHub hub;
  auto slow = hub.Join();
  auto fast = hub.Join();
  const std::string record(1000, 'x');
  std::size_t received = 0;
  std::string lines;
  const int records = static_cast<int>(EventHub::kQueueLimit / record.size()) + 10;
  for (int i = 0; i < records; ++i) {
    hub.OnRecord(Line(record));
    ASSERT_TRUE(hub.Next(*fast, &lines, std::chrono::milliseconds(0)));
    received += lines.size();
  }
  EXPECT_EQ(received, static_cast<std::size_t>(records) * (record.size() + 1));
  EXPECT_FALSE(hub.Next(*slow, &lines, std::chrono::milliseconds(0)));
  EXPECT_EQ(hub.dropped_clients(), 1u);
  // A full house is refused; one that leaves makes room.
  std::vector<std::shared_ptr<EventHub::Client>> more;
  while (auto c = hub.Join()) more.push_back(c);
  EXPECT_EQ(hub.clients(), EventHub::kMaxClients);
  hub.Leave(slow);
  EXPECT_NE(hub.Join(), nullptr);
  // At the close, what came before still goes out, then the stream ends.
  hub.OnRecord(Line("last"));
  hub.Close();
  ASSERT_TRUE(hub.Next(*fast, &lines, std::chrono::milliseconds(0)));
  EXPECT_EQ(lines, "last\n");
  EXPECT_FALSE(hub.Next(*fast, &lines, std::chrono::milliseconds(0)));
  EXPECT_EQ(hub.Join(), nullptr);
}

TEST(EventHub, TheHistoryKeepsEachSensorsLatestReadingsAndTheErrorsOfTheRun) {
  EventHub hub;
  for (int i = 0; i < EventHub::kHistoryPoints + 5; ++i) hub.OnRecord(Line("r", 2, i));
  hub.OnRecord(Line("r", 31, 8));
  const std::string history = hub.HistoryJson();
  // The oldest five are gone; sixteenths show as exact degrees.
  EXPECT_THAT(history, Not(HasSubstr("[4,0.25,null]")));
  EXPECT_THAT(history, HasSubstr("{\"2\":[[5,0.3125,null],[6,0.375,null]"));
  EXPECT_THAT(history, HasSubstr("\"31\":[[8,0.5,null]]"));
  // And the latest error records, oldest first.
  for (std::size_t i = 0; i < EventHub::kHistoryErrors + 2; ++i) {
    hub.OnRecord(Record(EventRecord::Kind::kError, "{\"n\":" + std::to_string(i) + "}"));
  }
  const json errors = json::parse(hub.HistoryJson())["errors"];
  ASSERT_EQ(errors.size(), EventHub::kHistoryErrors);
  EXPECT_EQ(errors.front()["n"], 2);
  EXPECT_EQ(errors.back()["n"], EventHub::kHistoryErrors + 1);
  hub.OnRecord(Record(EventRecord::Kind::kRunStarted, "S"));
  EXPECT_EQ(hub.HistoryJson(), "{\"sensors\":{},\"errors\":[]}");
}

// Takes the records as the feed's thread hands them on; held, it waits until let go.
class Collector : public RecordListener {
 public:
  void OnRecord(const EventRecord& record) override {
    std::unique_lock<std::mutex> lock(mutex_);
    ++arrived_;
    wake_.notify_all();
    wake_.wait(lock, [this] { return !held_; });
    events.push_back(json::parse(record.text)["event"]);
    if (events.back() == "records_dropped") noted += json::parse(record.text)["count"].get<int>();
  }
  void Hold() { held_ = true; }
  // Waits until a record has come into the held listener.
  void WaitForOne() {
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait(lock, [this] { return arrived_ > 0; });
  }
  void LetGo() {
    std::lock_guard<std::mutex> lock(mutex_);
    held_ = false;
    wake_.notify_all();
  }
  std::vector<std::string> events;
  int noted = 0;

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  bool held_ = false;
  int arrived_ = 0;
};

TEST(FeedQueue, EveryRecordReachesTheListenersInOrderOrIsCountedAndNoted) {
  ResetMonitorState();
  ManualClock clock;
  Ledger ledger(&clock);
  const Bytes frame = MakeFrame(1, 0, 0x0171, 0x01C8);
  for (const bool held : {false, true}) {
    SCOPED_TRACE(held ? "a listener that waits" : "listeners that keep up");
    Collector collector;
    FeedQueue feed(&clock);
    feed.Start({&collector});
    RecordStream stream(&clock, &ledger);
    stream.Add(&feed);
    ReadingFanout fanout;
    fanout.Add(&ledger);
    fanout.Add(&stream);
    if (held) collector.Hold();
    fanout.OnRunStarted();
    if (held) collector.WaitForOne();
    // More than the queue holds while its listener waits; no call here waits for it.
    const int readings = held ? static_cast<int>(2 * FeedQueue::kLimit / 200) : 3000;
    for (int i = 0; i < readings; ++i) {
      fanout.OnReading(ReadingOf(frame, static_cast<std::uint32_t>(i) * 10, 369, 456));
    }
    collector.LetGo();
    // Once the queue has room again, the next record brings the note of the loss.
    const auto offered = static_cast<std::uint64_t>(readings) + 1;
    ASSERT_TRUE(WaitUntil([&feed, offered] { return feed.records() + feed.dropped() == offered; },
                          30000, 1));
    fanout.OnRunStopped(30000);
    feed.Finish();
    const auto count = [&collector](const char* event) {
      return std::count(collector.events.begin(), collector.events.end(), event);
    };
    EXPECT_EQ(collector.events.front(), "run_started");
    EXPECT_EQ(collector.events.back(), "ledger");
    EXPECT_EQ(static_cast<std::uint64_t>(count("reading") + collector.noted),
              static_cast<std::uint64_t>(readings));
    EXPECT_EQ(static_cast<std::uint64_t>(collector.noted), feed.dropped());
    EXPECT_EQ(feed.records(), collector.events.size());
    if (held) {
      EXPECT_GT(feed.dropped(), 0u);
    } else {
      EXPECT_EQ(collector.events.size(), 3003u);
      EXPECT_EQ(collector.events[3001], "run_stopped");
    }
  }
}

}  // namespace
