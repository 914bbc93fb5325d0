#include "outputs/network/prometheus_text.h"

#include <functional>

#include "app/program_version.h"
#include "ledger/ledger_fields.h"

namespace {

using Value = std::function<bool(const SensorFigures&, const NetworkSnapshot&, std::string*)>;

std::string Whole(std::uint64_t n) {
  return std::to_string(n);
}

std::string Flag(bool on) {
  return on ? "1" : "0";
}

std::string Seconds(std::uint64_t ms) {
  return ScaledDecimal(static_cast<std::int64_t>(ms), 3);
}

bool HasTemperature(const SensorTally& t) {
  return t.frames > t.no_temperature;
}
bool HasHumidity(const SensorTally& t) {
  return t.frames > t.no_humidity;
}

// A value that is always there.
template <typename F>
Value Always(F get) {
  return [get](const SensorFigures& f, const NetworkSnapshot& s, std::string* out) {
    *out = get(f, s);
    return true;
  };
}

struct SensorFamily {
  const char* name;
  const char* type;
  const char* help;
  const char* label;  // a label beside the sensor's, or ""
  Value value;
};

// One family per entry; entries of the same name in a row are one family with another label.
const std::vector<SensorFamily>& SensorFamilies() {
  static const std::vector<SensorFamily> families = {
      {"wsmon_readings_total", "counter", "Readings of the sensor in this run.", "",
       Always(
           [](const SensorFigures& f, const NetworkSnapshot&) { return Whole(f.tally.frames); })},
      {"wsmon_readings_without_value_total", "counter",
       "Readings in which the sensor sent no value of the quantity.", "quantity=\"temperature\"",
       Always([](const SensorFigures& f, const NetworkSnapshot&) {
         return Whole(f.tally.no_temperature);
       })},
      {"wsmon_readings_without_value_total", "counter", "", "quantity=\"humidity\"",
       Always([](const SensorFigures& f, const NetworkSnapshot&) {
         return Whole(f.tally.no_humidity);
       })},
      {"wsmon_bad_checks_total", "counter",
       "Frames with a wrong check byte whose id byte names the sensor (the id of a damaged frame "
       "may itself be damaged).",
       "", Always([](const SensorFigures& f, const NetworkSnapshot&) {
         return Whole(f.tally.bad_checks);
       })},
      {"wsmon_temperature_celsius", "gauge", "The sensor's latest temperature.", "",
       [](const SensorFigures& f, const NetworkSnapshot&, std::string* out) {
         if (!HasTemperature(f.tally)) return false;
         *out = ScaledDecimal(std::int64_t{f.tally.temperature_last_sixteenths} * 625, 4);
         return true;
       }},
      {"wsmon_humidity_ratio", "gauge", "The sensor's latest relative humidity, 0 to 1.", "",
       [](const SensorFigures& f, const NetworkSnapshot&, std::string* out) {
         if (!HasHumidity(f.tally)) return false;
         *out = ScaledDecimal(f.tally.humidity_last_tenths, 3);  // tenths of a percent
         return true;
       }},
      {"wsmon_last_reading_timestamp_seconds", "gauge",
       "When the sensor's latest reading arrived, in seconds since 1970 (UTC).", "",
       [](const SensorFigures& f, const NetworkSnapshot& s, std::string* out) {
         if (f.tally.frames == 0) return false;
         *out = ScaledDecimal(EpochMsAt(s, f.tally.last_seen.tick), 3);
         return true;
       }},
      {"wsmon_sensor_age_seconds", "gauge",
       "Seconds since the sensor's latest reading (since the run's start for a sensor of the "
       "run's count that sent none).",
       "",
       [](const SensorFigures& f, const NetworkSnapshot&, std::string* out) {
         if (!f.has_age) return false;
         *out = Seconds(f.age_ms);
         return true;
       }},
      {"wsmon_sensor_silent", "gauge",
       "1 when the sensor's age passed 3 times its median interval (10 s before it has one).", "",
       Always([](const SensorFigures& f, const NetworkSnapshot&) { return Flag(f.silent); })},
      {"wsmon_interval_median_seconds", "gauge", "Median interval between the sensor's readings.",
       "",
       [](const SensorFigures& f, const NetworkSnapshot&, std::string* out) {
         if (!f.has_median) return false;
         *out = Seconds(f.interval_median_ms);
         return true;
       }},
      {"wsmon_interval_p95_seconds", "gauge",
       "95th percentile of the intervals between the sensor's readings.", "",
       [](const SensorFigures& f, const NetworkSnapshot&, std::string* out) {
         if (!f.has_median) return false;
         *out = Seconds(f.interval_p95_ms);
         return true;
       }},
      {"wsmon_sensor_gaps", "gauge",
       "Intervals longer than 1.5 times the median (judged again as the median settles).", "",
       Always([](const SensorFigures& f, const NetworkSnapshot&) { return Whole(f.gaps); })},
      {"wsmon_sensor_missed_readings", "gauge",
       "Readings the gaps and the silence since the latest reading are estimated to have missed.",
       "", Always([](const SensorFigures& f, const NetworkSnapshot&) {
         return Whole(f.missed + f.missed_open);
       })},
      {"wsmon_sensor_delivery_ratio", "gauge",
       "Readings / (readings + estimated missed), 0 to 1; there once the sensor has a median.", "",
       [](const SensorFigures& f, const NetworkSnapshot&, std::string* out) {
         if (!f.has_delivery) return false;
         *out = ScaledDecimal(f.delivery_hundredths, 4);  // hundredths of a percent
         return true;
       }},
      {"wsmon_implausible_values_total", "counter",
       "Values outside the plausible range: below -40 or above 125 degrees, above 100 %RH.",
       "quantity=\"temperature\"", Always([](const SensorFigures& f, const NetworkSnapshot&) {
         return Whole(f.tally.implausible_temperatures);
       })},
      {"wsmon_implausible_values_total", "counter", "", "quantity=\"humidity\"",
       Always([](const SensorFigures& f, const NetworkSnapshot&) {
         return Whole(f.tally.implausible_humidities);
       })},
      {"wsmon_sequence_lost_total", "counter",
       "Readings lost by the sensor's own count in the extra byte (with the sequence byte on).", "",
       [](const SensorFigures& f, const NetworkSnapshot& s, std::string* out) {
         if (!s.ledger.run.facts.sequence_byte) return false;
         *out = Whole(f.tally.sequence_lost);
         return true;
       }},
      {"wsmon_sequence_duplicates_total", "counter",
       "Readings that repeated the sensor's count in the extra byte (with the sequence byte on).",
       "",
       [](const SensorFigures& f, const NetworkSnapshot& s, std::string* out) {
         if (!s.ledger.run.facts.sequence_byte) return false;
         *out = Whole(f.tally.sequence_duplicates);
         return true;
       }},
  };
  return families;
}

class Page {
 public:
  void Family(const char* name, const char* type, const char* help) {
    if (name == last_) return;
    last_ = name;
    text_ += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
  }
  void Sample(const char* name, const std::string& labels, const std::string& value) {
    text_ += name;
    if (!labels.empty()) text_ += "{" + labels + "}";
    text_ += " " + value + "\n";
  }
  // A family of one sample without labels.
  void One(const char* name, const char* type, const char* help, const std::string& value) {
    Family(name, type, help);
    Sample(name, "", value);
  }
  std::string& text() { return text_; }

 private:
  std::string last_;
  std::string text_;
};

void RunFamilies(Page& page, const NetworkSnapshot& s) {
  const RunFigures& run = s.ledger.run;
  const RunFacts& f = run.facts;
  page.Family("wsmon_build_info", "gauge", "The program's version; always 1.");
  page.Sample("wsmon_build_info", std::string("version=\"") + kProgramVersion + "\"", "1");
  page.One("wsmon_run_active", "gauge", "1 while a monitoring run goes on.", Flag(f.active));
  page.One("wsmon_port_up", "gauge",
           "1 while the serial port is open and answering (0 when closed, or lost during a run).",
           Flag(s.port_open && (!f.active || f.port_up)));
  page.One("wsmon_frames_total", "counter",
           "Frames with a right check byte in this run (the good count: ids of 32 or more too).",
           Whole(GoodFrames(s.ledger)));
  page.One("wsmon_error_events_total", "counter",
           "Error events of this run (the error count: ERR1 and ERR2 events).",
           Whole(ErrorEvents(s.ledger)));
  page.Family("wsmon_frame_errors_total", "counter",
              "Error log lines of this run by code: ERR1 stray bytes, ERR2 bad check byte, ERR3 "
              "port read failed, ERR4 accumulation buffer full, ERR5 sensor id 32 or more.");
  for (int code = 1; code <= kLedgerErrorCodes; ++code) {
    page.Sample("wsmon_frame_errors_total", "code=\"ERR" + std::to_string(code) + "\"",
                Whole(f.errors[code]));
  }
  page.One("wsmon_stray_bytes_total", "counter",
           "Bytes of this run that belonged to no frame (ERR1).", Whole(f.stray_bytes));
  page.One("wsmon_refused_frames_total", "counter",
           "Frames with a right check byte and a sensor id of 32 or more (ERR5).",
           Whole(s.ledger.rows[kRefusedRow].tally.frames));
  page.One("wsmon_refused_bad_checks_total", "counter",
           "Frames with a wrong check byte whose id byte is 32 or more.",
           Whole(s.ledger.rows[kRefusedRow].tally.bad_checks));
  page.One("wsmon_port_outages_total", "counter",
           "Times the serial port stopped answering during this run.", Whole(f.outages));
  page.One("wsmon_port_outage_seconds_total", "counter",
           "Seconds the serial port was away during this run, the outage going on included.",
           Seconds(run.outage_total_ms));
  page.One("wsmon_run_duration_seconds", "gauge",
           "Seconds from the run's start to now, or to its end once it ended.",
           Seconds(run.duration_ms));
  if (f.started) {
    page.One("wsmon_run_start_timestamp_seconds", "gauge",
             "When the run started, in seconds since 1970 (UTC).",
             ScaledDecimal(EpochMsAt(s, f.start.tick), 3));
  }
  page.One("wsmon_sensors_configured", "gauge", "The sensor count setting the run started with.",
           Whole(static_cast<std::uint64_t>(f.sensor_count < 0 ? 0 : f.sensor_count)));
  page.One("wsmon_sensors_watched", "gauge",
           "Sensors of the run's count and any other that sent a frame in the run.",
           Whole(static_cast<std::uint64_t>(run.watched)));
  page.One("wsmon_sensors_silent", "gauge", "Watched sensors that are silent now.",
           Whole(static_cast<std::uint64_t>(run.silent)));
}

void HealthFamilies(Page& page, const NetworkSnapshot& s, const OutputHealth& h) {
  page.One("wsmon_feed_records_dropped_total", "counter",
           "Event records the network outputs lost because they did not keep up.",
           Whole(s.feed_dropped));
  if (h.http) {
    page.One("wsmon_http_events_clients", "gauge", "Readers of /events now.",
             Whole(static_cast<std::uint64_t>(h.events_clients)));
    page.One("wsmon_http_events_clients_dropped_total", "counter",
             "Readers of /events dropped because they did not keep up.",
             Whole(h.events_clients_dropped));
  }
  if (h.mqtt) {
    page.One("wsmon_mqtt_connected", "gauge", "1 while the MQTT broker is connected.",
             Flag(h.mqtt_connected));
    page.One("wsmon_mqtt_messages_published_total", "counter",
             "MQTT messages handed to the broker's connection.", Whole(h.mqtt_published));
    page.One("wsmon_mqtt_messages_dropped_total", "counter",
             "MQTT messages dropped: the broker was away or did not keep up.",
             Whole(h.mqtt_dropped));
  }
}

}  // namespace

std::string ScaledDecimal(std::int64_t units, int decimals) {
  return ExactDecimal(units, decimals, 0);
}

std::string PrometheusText(const NetworkSnapshot& s, const OutputHealth& health) {
  Page page;
  RunFamilies(page, s);
  for (const SensorFamily& family : SensorFamilies()) {
    page.Family(family.name, family.type, family.help);
    for (int row = 0; row < kLedgerSensorRows; ++row) {
      const SensorFigures& figures = s.ledger.rows[row];
      std::string value;
      if (!figures.watched || !family.value(figures, s, &value)) continue;
      std::string labels = "sensor=\"" + std::to_string(row) + "\"";
      if (family.label[0] != '\0') labels += std::string(",") + family.label;
      page.Sample(family.name, labels, value);
    }
  }
  HealthFamilies(page, s, health);
  return std::move(page.text());
}
