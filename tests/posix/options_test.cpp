// The command line of wsmon: the options of each mode, read in any order, and the combinations
// it refuses, in its own words; and the COM port map that --com changes.
#include "frontend/program/options.h"
#include "platform/posix/com_port_map.h"

#include <string>
#include <vector>

#include "support.h"

namespace {

// What the options say in a few words (the flags set, the simulator's details, the ports), or
// the complaint about them.
std::string Said(std::vector<std::string> words) {
  std::vector<char*> argv = {const_cast<char*>("wsmon")};
  for (std::string& w : words) argv.push_back(w.data());
  Options o;
  std::string said;
  if (!ParseOptions(static_cast<int>(argv.size()), argv.data(), &o, &said)) return said;
  const std::pair<bool, const char*> flags[] = {
      {o.headless, "headless"},         {o.simulate, "simulate"},
      {o.list_ports, "list"},           {o.outputs.csv, "csv"},
      {o.outputs.sequence_byte, "seq"}, {o.help, "help"},
      {!o.sim_program.empty(), "sim"},  {o.outputs.network.http, "http"},
      {o.outputs.network.mqtt, "mqtt"}, {o.outputs.network.mqtt_discovery, "discovery"}};
  for (const auto& [set, name] : flags) said += set ? std::string(name) + " " : "";
  if (!o.outputs.network.mqtt_topic.empty()) said += "topic[" + o.outputs.network.mqtt_topic + "] ";
  if (o.outputs.json) said += "json[" + o.outputs.json_file + "] ";
  if (!o.outputs.record_file.empty()) said += "record[" + o.outputs.record_file + "] ";
  if (!o.replay.empty()) said += "replay[" + o.replay + " " + std::to_string(o.speed) + "] ";
  if (o.run) said += "run ";
  if (o.rotate) {
    said += o.rotation.daily ? "rotate[daily] "
                             : "rotate[" + std::to_string(o.rotation.every_s) + "s] ";
  }
  for (const std::string& arg : o.sim_args) said += "[" + arg + "] ";
  for (const auto& [port, path] : o.ports.overrides()) said += std::to_string(port) + "=" + path;
  return said;
}

TEST(Options, EveryOptionIsReadWhateverComesBeforeAndMisplacedOnesAreRefused) {
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      // --com once skipped the word after its value.
      {{"--com", "1=/a", "--headless", "--com=2=/b", "--csv"}, "headless csv 1=/a2=/b"},
      {{"--com", "1=/a", "--com", "1=/b"}, "1=/b"},
      {{"--simulate", "--sim-arg", "--stray", "--sim-arg=0.05", "--sim=/s"},
       "simulate sim [--stray] [0.05] "},
      {{"-h", "--headless", "--list-ports"}, "headless list help "},  // help asks no more
      {{"--headless", "--list-ports"},
       "--headless, --run, --export-bytes, --list-ports and --recover are modes: say one at most"},
      {{"--run", "--recover"},
       "--headless, --run, --export-bytes, --list-ports and --recover are modes: say one at most"},
      {{"--export-bytes", "--csv"},
       "--csv, --json and --sequence-byte go with the monitor, not --export-bytes, --list-ports "
       "or --recover"},
      // --json takes the next word as its FILE unless that is an option; "-" is standard output.
      {{"--headless", "--json", "--sequence-byte"}, "headless seq json[] "},
      {{"--headless", "--json", "-", "--csv"}, "headless csv json[-] "},
      {{"--json", "out.jsonl", "--headless"}, "headless json[out.jsonl] "},
      {{"--json=-x.jsonl"}, "json[-x.jsonl] "},
      {{"--json"},
       "--json needs a FILE with the terminal monitor, whose standard output is the screen "
       "(standard output takes the JSON Lines with --headless and --run)"},
      {{"--run", "--json"}, "json[] run "},
      {{"--list-ports", "--sequence-byte"},
       "--csv, --json and --sequence-byte go with the monitor, not --export-bytes, --list-ports "
       "or --recover"},
      {{"--list-ports", "--simulate"},
       "--simulate, --sim-arg and --sim go with the monitor, not --export-bytes, --list-ports or "
       "--recover"},
      {{"--sim=/s"}, "--sim-arg and --sim need --simulate"},
      {{"--simulate", "--sim"}, "unknown or incomplete option \"--sim\""},
      {{"--headless=1"}, "unknown or incomplete option \"--headless=1\""},
      {{"--compact"}, "unknown or incomplete option \"--compact\""},
      {{"--com"}, "--com needs a value N=PATH (for example --com 1=/dev/ttyUSB0)"},
      {{"--com=0=/a"}, "--com: the port number in \"0=/a\" must be a whole number from 1 to 255"},
      // The network options go with the monitor and their partners.
      {{"--headless", "--http", "9100", "--mqtt=b", "--mqtt-topic", "x/y", "--mqtt-discovery"},
       "headless http mqtt discovery topic[x/y] "},
      {{"--http-token", "/t"}, "--http-token needs --http"},
      {{"--mqtt-discovery"}, "--mqtt-topic and --mqtt-discovery need --mqtt"},
      {{"--list-ports", "--http", "1"},
       "the network options go with the monitor, not --export-bytes, --list-ports or --recover"},
      {{"--http"}, "--http needs a value PORT or ADDRESS:PORT (for example --http 9100)"},
      {{"--http", "host:1"},
       "--http: \"host:1\" is not PORT, ADDRESS:PORT or [IPv6]:PORT (a port from 0 to 65535, 0 "
       "for any free one; an IPv4 address, localhost or a bracketed IPv6 address)"},
      {{"--mqtt", "b", "--mqtt-topic", "a/#"},
       "--mqtt-topic: the topic prefix \"a/#\" holds a wildcard (+ or #)"},
      // A recording plays in place of the port, as fast as can be unless a speed is given.
      {{"--replay", "r", "--headless"}, "headless replay[r 0.000000] "},
      {{"--speed", "0.5", "--replay=r"}, "replay[r 0.500000] "},
      {{"--speed", "max"}, "--speed needs --replay"},
      {{"--replay", "r", "--speed", "fast"},
       "--speed: \"fast\" is not a number above 0 (up to 100000) or max"},
      {{"--replay", "r", "--simulate"},
       "--replay plays a recording in place of the port: leave out --simulate"},
      {{"--list-ports", "--replay", "r"},
       "--replay goes with the monitor, not --export-bytes or --list-ports"},
      {{"--record", "r", "--simulate"}, "simulate record[r] "},
      {{"--record", "r", "--replay", "q"},
       "--record keeps what a port gives; a replay has its recording already"},
      {{"--record="}, "--record: \"\" is not a file name"},
      {{"--run", "--replay", "r"},
       "--replay goes with --headless or the terminal monitor, not --run"},
      // --rotate: daily, or a period in hours, minutes or seconds of 30 days at most.
      {{"--run", "--rotate", "daily"}, "run rotate[daily] "},
      {{"--rotate=6h", "--run"}, "run rotate[21600s] "},
      {{"--run", "--rotate", "30m"}, "run rotate[1800s] "},
      {{"--run", "--rotate", "720h"}, "run rotate[2592000s] "},
      {{"--run", "--rotate", "1s"}, "run rotate[1s] "},
      {{"--rotate", "daily"}, "--rotate needs --run"},
      {{"--run", "--rotate"}, "--rotate needs a value: daily, or a period such as 6h"}};
  for (const auto& [words, said] : cases) EXPECT_EQ(Said(words), said) << words[0];
  for (const char* unfit :
       {"721h", "0h", "6", "h", "6d", "6hh", "-1h", "Daily", "99999999999999999999s"}) {
    EXPECT_EQ(Said({"--run", "--rotate", unfit}),
              std::string("--rotate: \"") + unfit +
                  "\" is not daily, or a period of N hours, minutes or seconds such as 6h, 30m "
                  "or 90s (at most 30 days)");
  }
}

TEST(ComPortMapTest, PortsAreTheMachinesSerialPortsUnlessOverriddenOnTheCommandLine) {
  ComPortMap ports;
  std::string error;
  EXPECT_TRUE(ports.ParseOverride("2=/dev/ttyUSB0", &error) &&
              ports.ParseOverride("2=./odd=name", &error))  // the last one counts
      << error;
  const std::pair<int, const char*> paths[] = {
      {1, "/dev/ttyS0"}, {2, "./odd=name"}, {255, "/dev/ttyS254"}, {0, ""}, {256, ""}};
  for (const auto& [number, path] : paths) EXPECT_EQ(ports.PathFor(number), path) << number;
}

TEST(ComPortMapTest, MalformedValuesAreRefusedAndChangeNothing) {
  for (const char* value :
       {"", "/dev/ttyUSB0", "x=/dev/ttyUSB0", "+1=/dev/ttyUSB0", "1x=/dev/ttyUSB0",
        "0=/dev/ttyUSB0", "256=/dev/ttyUSB0", "99999999999=/dev/ttyUSB0", "3="}) {
    ComPortMap ports;
    std::string error;
    EXPECT_FALSE(ports.ParseOverride(value, &error)) << value;
    EXPECT_THAT(error, HasSubstr("--com"));
    EXPECT_EQ(ports.PathFor(3), "/dev/ttyS2");
  }
}

}  // namespace
