#include "outputs/network/prometheus_text.h"

#include "app/program_version.h"
#include "ledger/ledger_table.h"

namespace {

std::string Whole(std::uint64_t n) {
  return std::to_string(n);
}

std::string Flag(bool on) {
  return on ? "1" : "0";
}

// A figure's sample text, or false when the snapshot has no value of it for the row. A figure
// read from the sequence byte shows with it on, from 0 where the sensor has none yet.
bool SampleText(const LedgerFigure& figure, const NetworkSnapshot& s, const SensorFigures& row,
                std::string* out) {
  const FigureValue value = figure.value(s.ledger, row);
  if (figure.sequence) {
    if (!s.ledger.run.facts.sequence_byte) return false;
  } else if (!value.has) {
    return false;
  }
  const std::int64_t number = !value.has                         ? 0
                              : figure.unit == FigureUnit::kTime ? EpochMsAt(s, value.moment.tick)
                                                                 : value.number;
  *out = MetricText(figure.unit, number);
  return true;
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

// The program's own families, then the run's figures of the ledger's table.
void RunFamilies(Page& page, const NetworkSnapshot& s) {
  page.Family("wsmon_build_info", "gauge", "The program's version; always 1.");
  page.Sample("wsmon_build_info", std::string("version=\"") + kProgramVersion + "\"", "1");
  page.One("wsmon_port_up", "gauge",
           "1 while the serial port is open and answering (0 when closed, or lost).",
           Flag(s.port_open && !s.port_lost));
  for (const LedgerFigure& figure : RunFigureTable()) {
    std::string value;
    if (figure.metric == nullptr || !SampleText(figure, s, s.ledger.rows[kRefusedRow], &value)) {
      continue;
    }
    page.Family(figure.metric, figure.metric_type, figure.help);
    page.Sample(figure.metric, figure.metric_label != nullptr ? figure.metric_label : "", value);
  }
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

std::string PrometheusText(const NetworkSnapshot& s, const OutputHealth& health) {
  Page page;
  RunFamilies(page, s);
  for (const LedgerFigure& figure : SensorFigureTable()) {
    if (figure.metric == nullptr) continue;
    page.Family(figure.metric, figure.metric_type, figure.help);
    for (int row = 0; row < kLedgerSensorRows; ++row) {
      const SensorFigures& figures = s.ledger.rows[row];
      std::string value;
      if (!figures.watched || !SampleText(figure, s, figures, &value)) continue;
      std::string labels = "sensor=\"" + std::to_string(row) + "\"";
      if (figure.metric_label[0] != '\0') labels += std::string(",") + figure.metric_label;
      page.Sample(figure.metric, labels, value);
    }
  }
  HealthFamilies(page, s, health);
  return std::move(page.text());
}
