#include "outputs/output_options.h"

#include "outputs/network/network_host.h"

namespace {

// A value's complaint, named by its option.
bool Named(const char* option, bool fits, std::string* error) {
  if (!fits) *error = std::string(option) + ": " + *error;
  return fits;
}

const char kJsonHelp[] =
    "  --json [FILE]    write every event as JSON Lines, one record a line: readings, errors, "
    "runs,\n"
    "                   exports, the port's outages and the ledger (every 60 s of a run and at\n"
    "                   its end). FILE is appended to (created when missing); without FILE (or\n"
    "                   with -) they go to standard output, --headless only, and take the place\n"
    "                   of the event lines there\n";
const char kJsonFileHelp[] =
    "  --json FILE      write every event as JSON Lines to FILE, one record a line: readings,\n"
    "                   errors, runs, exports, the port's outages and the ledger (every 60 s of\n"
    "                   a run and at its end). FILE is appended to (created when missing)\n";

// The --http-token help ends with the platform's rule for a file that holds a secret.
const char* TokenHelp() {
  static const std::string help =
      std::string(
          "  --http-token FILE\n"
          "                   NETWORK: every request must show the token on FILE's first line, "
          "as\n"
          "                   Authorization: Bearer TOKEN or as the password of basic "
          "authentication;\n"
          "                   ") +
      kPrivateFileRule + "\n";
  return help.c_str();
}

}  // namespace

bool OutputOptions::Any() const {
  const NetworkOptions& n = network;
  return csv || json || sequence_byte || n.http || n.mqtt || !n.http_token_file.empty() ||
         !n.mqtt_topic.empty() || n.mqtt_discovery;
}

std::vector<OptionRow> OutputOptionRows(OutputOptions* o, JsonTarget json) {
  OptionRow json_row = Custom("--json", [o](const std::string& value, std::string*) {
    o->json = true;
    o->json_file = value;
    return true;
  });
  if (json == JsonTarget::kFileOrStandardOutput) {
    json_row.OptionalValue().Help(kJsonHelp);
  } else {
    json_row.Help(kJsonFileHelp).Missing("--json needs a FILE (for example --json events.jsonl)");
  }
  return {
      Flag("--csv", &o->csv)
          .Help(
              "  --csv            with every export RUVEZ_*.txt also write RUVEZ_*_readings.csv,\n"
              "                   RUVEZ_*_errors.csv and RUVEZ_*_sensors.csv beside it: the "
              "run's readings,\n"
              "                   its errors and each sensor's ledger figures, one row each "
              "(UTF-8,\n"
              "                   comma-separated, a header row), for spreadsheets and plots\n"),
      json_row,
      Flag("--sequence-byte", &o->sequence_byte)
          .Help("  --sequence-byte  read each frame's extra byte as its sensor's count of "
                "readings (mod 256):\n"
                "                   the ledger counts exactly the readings lost and "
                "duplicated\n"),
      Custom("--http",
             [o](const std::string& value, std::string* error) {
               o->network.http = true;
               return Named("--http", ParseHttpEndpoint(value, &o->network.http_endpoint, error),
                            error);
             })
          .Missing("--http needs a value PORT or ADDRESS:PORT (for example --http 9100)")
          .Help("  --http [ADDRESS:]PORT\n"
                "                   NETWORK: serve /metrics (Prometheus), /events (the event "
                "stream as JSON\n"
                "                   Lines) and a live page at / over HTTP; on 127.0.0.1 unless "
                "ADDRESS is\n"
                "                   named (0.0.0.0:9100 for every address, [::1]:9100); port 0: "
                "any free one\n"),
      Text("--http-token", &o->network.http_token_file).Help(TokenHelp()),
      Custom("--mqtt",
             [o](const std::string& value, std::string* error) {
               o->network.mqtt = true;
               return Named("--mqtt", ParseMqttEndpoint(value, &o->network.mqtt_endpoint, error),
                            error);
             })
          .Missing("--mqtt needs a value HOST or HOST:PORT (for example --mqtt localhost)")
          .Help("  --mqtt HOST[:PORT]\n"
                "                   NETWORK: publish every reading, the event stream, the ledger "
                "every 60 s\n"
                "                   and the availability to the MQTT broker (port 1883 unless "
                "given)\n"),
      Custom("--mqtt-topic",
             [o](const std::string& value, std::string* error) {
               o->network.mqtt_topic = value;
               return Named("--mqtt-topic", CheckTopicPrefix(value, error), error);
             })
          .Help("  --mqtt-topic PREFIX\n"
                "                   NETWORK: the topics' prefix (default wsmon/ and the host "
                "name)\n"),
      Flag("--mqtt-discovery", &o->network.mqtt_discovery)
          .Help("  --mqtt-discovery\n"
                "                   NETWORK: announce each sensor's temperature and humidity to "
                "Home\n"
                "                   Assistant (retained configurations under homeassistant/)\n"),
  };
}

bool FinishOutputOptions(OutputOptions* o, std::string* error) {
  NetworkOptions& n = o->network;
  if (!n.http_token_file.empty() && !n.http) {
    *error = "--http-token needs --http";
    return false;
  }
  if ((!n.mqtt_topic.empty() || n.mqtt_discovery) && !n.mqtt) {
    *error = "--mqtt-topic and --mqtt-discovery need --mqtt";
    return false;
  }
  return n.http_token_file.empty() || ReadTokenFile(n.http_token_file, &n.http_token, error);
}
