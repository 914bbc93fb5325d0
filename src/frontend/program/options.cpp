#include "frontend/program/options.h"

#include <unistd.h>

#include <string>
#include <vector>

#include "cli/option_table.h"

#include "frontend/program/usage_reference.h"

namespace {

const char kUsageHead[] =
    R"(usage: wsmon [--com N=PATH]... [OUTPUTS] [--simulate [--sim-arg ARG]...] [NETWORK]...
       wsmon --headless [--com N=PATH]... [OUTPUTS] [--simulate [--sim-arg ARG]...] [NETWORK]...
       wsmon --export-bytes < LINES > FILE
       wsmon --list-ports [--com N=PATH]...
       wsmon --recover [DIR]
       wsmon --help | --version

OUTPUTS: [--csv] [--json [FILE]] [--sequence-byte]
NETWORK: [--http [ADDR:]PORT [--http-token FILE]]
         [--mqtt HOST[:PORT] [--mqtt-topic PREFIX] [--mqtt-discovery]]

Runs the wireless sensor test monitor. The current directory is the start directory: the
settings file wscfg.cfg and the exports RUVEZ_*.txt live there.

Without a mode option wsmon is the interactive monitor on the terminal (at least 80 x 24):
the window's title, menu bar, sensor panels, counters and error log in character cells, a
status line, and a live chart. Keys: the menu's letters p (open), e (close, setting: press
again to move between them, Enter runs), s (start), t (stop), x (exit), alone or with Alt;
F10 marks the menu bar, the arrows move, Enter runs; a click runs an item; g opens the chart
(Left/Right or a number choose the sensor, Esc returns), l the ledger of every sensor's
figures (s sorts, Esc returns). In the settings dialog Tab moves
between the controls, the arrows within a group, Space toggles, Enter confirms. Ctrl-C exits
(the settings are saved); the terminal closing or SIGTERM stop a run that saves its lines
first, then exit. With standard input or output not a terminal, say --headless.

Options:
)";

const char kUsageTail[] = R"(
Commands of --headless (standard input, one per line; blank lines and lines starting with #
are skipped):
  open | close | start | stop | exit
                   the menu commands; one whose menu item is greyed now is refused
  settings [port=N] [baud=RATE] [save=0|1] [sensors=TEXT]
                   open the settings dialog, click port N (1-4) and baud RATE (9600, 19200,
                   38400), set the save box, type TEXT into the sensor count field exactly
                   (sensors="" for an empty field, quotes for blanks), confirm; fields left out
                   keep what the dialog showed
  settings cancel  open the settings dialog and leave it with the exit button
  wait MS          keep monitoring for MS milliseconds before reading the next command
  stats            print the ledger now as stats lines (and, with --json, a ledger record)
The end of input acts as exit. Polling goes on while input is awaited. A line longer than
65536 bytes is refused as a whole.

Signals: SIGINT (Ctrl-C) is the exit command (> exit (interrupted)): a run in progress ends
without an export. SIGTERM, SIGHUP and SIGQUIT first stop a run in progress when saving is on,
so that it is exported (> stop (signal)), then exit (> exit (signal)). Either way the settings
are saved. SIGUSR1, SIGUSR2 and SIGPIPE are ignored.

Headless output: standard output, one event per line, always valid UTF-8. Text from outside
the monitor (commands, paths, lines) is escaped: \\ for a backslash, \xNN for each byte of a control
character (C0, DEL, C1) and for each byte that is not valid UTF-8; "TEXT" stands in double
quotes, with \" for a double quote in it.
  > COMMAND                   a command as read (> START... for the start of a line too long)
  error: MESSAGE; nothing done
                              an unknown, malformed or too long command
  refused NAME: the menu item is greyed
  dialog shows port=N baud=RATE save=0|1 sensors="TEXT"
                              the settings dialog as it opened (port=none, baud=none: no
                              button checked)
  dialog confirm port=N baud=RATE save=0|1 sensors="TEXT"  |  dialog exit
  panel I created X,Y WxH     a sensor panel (I from 0) laid out at X,Y in the client area
  panel I destroyed | panel I emptied
  panel I line J "TEXT"       line J (from 0) added to panel I
  log created X,Y WxH | log emptied | log line J "TEXT"
                              the error log
  good|bad|ratio created X,Y WxH
  good "TEXT" | bad "TEXT" | ratio "TEXT"
                              the good count, error count or error ratio box rewritten
  window destroyed            the main window (its boxes are destroyed before it)
  menu NAME enabled|greyed    a menu item changed state (open, close, start, stop)
  message "CAPTION" "TEXT"    a message box (answered with OK at once)
  beep 48                     the warning sound
  quit 0                      the monitor asked to end (twice when it closes: the close and
                              the destroy message each run the shutdown)
  port lost                   the port stopped answering during a run (after its ERR3 line);
                              it is opened again at every poll, and why it was lost goes to
                              standard error
  port back SECONDS           it answers again after SECONDS (one decimal); the run goes on
  port other "DEVICE"         another device than the run's stands at the port's path (a USB
                              adapter by its ids and serial number); it is not opened, and the
                              run waits for its own (once per outage)
  sim device PATH             --simulate: the simulated receiver's pseudo-terminal
  sim KEY VALUE               --simulate: its summary at the end (see wsmon-sim --help)
  stats run KEY=VALUE... | stats sensor N KEY=VALUE... | stats refused KEY=VALUE...
                              the ledger, by the stats command and at the end of every run
                              (after its export): the run's figures, then one line per
                              watched sensor, then the ids of 32 or more; "-" for no value.
                              The keys are those of the JSON records (see the README: The
                              ledger)
With --json and no FILE, standard output carries the JSON Lines alone: no event line is
written, the stats command writes a ledger record, and a malformed or refused command is told
on standard error.

Exit status: 0 after the monitor ended; 2 for a bad command line (or, without --headless, no
terminal); 1 when the simulated receiver or the terminal cannot be started.
)";

// A value's complaint, named by its option.
bool Named(const char* option, bool fits, std::string* error) {
  if (!fits) *error = std::string(option) + ": " + *error;
  return fits;
}

// The options, in the order of the help text.
std::vector<OptionRow> OptionTable(Options* o) {
  return {
      Flag("--headless", &o->headless)
          .Help("  --headless       run the monitor without a screen, reading commands from "
                "standard input\n"),
      ComOptionRow(&o->ports),
      Flag("--simulate", &o->simulate)
          .Help("  --simulate       start the simulated receiver (wsmon-sim) on a pseudo-terminal "
                "and use it\n"
                "                   as every port that --com does not name\n"),
      Texts("--sim-arg", &o->sim_args)
          .Help("  --sim-arg ARG    pass ARG on to the simulated receiver (repeatable), for "
                "example\n"
                "                   --sim-arg=--stray --sim-arg=0.05; see wsmon-sim --help\n"),
      Text("--sim", &o->sim_program)
          .Help("  --sim PATH       the simulated receiver's program (default: wsmon-sim beside "
                "wsmon, or on PATH)\n"),
      Flag("--export-bytes", &o->export_bytes)
          .Help("  --export-bytes   read list box lines (UTF-8, one per line) from standard input "
                "and write the\n"
                "                   bytes the export writes for them: code page 936, each line "
                "ended by CR LF\n"),
      Flag("--csv", &o->outputs.csv)
          .Help(
              "  --csv            with every export RUVEZ_*.txt also write RUVEZ_*_readings.csv,\n"
              "                   RUVEZ_*_errors.csv and RUVEZ_*_sensors.csv beside it: the "
              "run's readings,\n"
              "                   its errors and each sensor's ledger figures, one row each "
              "(UTF-8,\n"
              "                   comma-separated, a header row), for spreadsheets and plots\n"),
      Custom("--json",
             [o](const std::string& value, std::string*) {
               o->outputs.json = true;
               o->outputs.json_file = value;
               return true;
             })
          .OptionalValue()
          .Help("  --json [FILE]    write every event as JSON Lines, one record a line: readings, "
                "errors, runs,\n"
                "                   exports, the port's outages and the ledger (every 60 s of a "
                "run and at\n"
                "                   its end). FILE is appended to (created when missing); "
                "without FILE (or\n"
                "                   with -) they go to standard output, --headless only, and "
                "take the place\n"
                "                   of the event lines there\n"),
      Flag("--sequence-byte", &o->outputs.sequence_byte)
          .Help("  --sequence-byte  read each frame's extra byte as its sensor's count of "
                "readings (mod 256):\n"
                "                   the ledger counts exactly the readings lost and "
                "duplicated\n"),
      Custom("--http",
             [o](const std::string& value, std::string* error) {
               o->outputs.network.http = true;
               return Named("--http",
                            ParseHttpEndpoint(value, &o->outputs.network.http_endpoint, error),
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
      Text("--http-token", &o->outputs.network.http_token_file)
          .Help("  --http-token FILE\n"
                "                   NETWORK: every request must show the token on FILE's first "
                "line, as\n"
                "                   Authorization: Bearer TOKEN or as the password of basic "
                "authentication;\n"
                "                   FILE must be readable by its owner alone (chmod 600)\n"),
      Custom("--mqtt",
             [o](const std::string& value, std::string* error) {
               o->outputs.network.mqtt = true;
               return Named("--mqtt",
                            ParseMqttEndpoint(value, &o->outputs.network.mqtt_endpoint, error),
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
               o->outputs.network.mqtt_topic = value;
               return Named("--mqtt-topic", CheckTopicPrefix(value, error), error);
             })
          .Help("  --mqtt-topic PREFIX\n"
                "                   NETWORK: the topics' prefix (default wsmon/ and the host "
                "name)\n"),
      Flag("--mqtt-discovery", &o->outputs.network.mqtt_discovery)
          .Help("  --mqtt-discovery\n"
                "                   NETWORK: announce each sensor's temperature and humidity to "
                "Home\n"
                "                   Assistant (retained configurations under homeassistant/)\n"),
      Custom("--recover",
             [o](const std::string& value, std::string*) {
               o->recover = true;
               o->recover_dir = value;
               return true;
             })
          .OptionalValue()
          .Help("  --recover [DIR]  make the export of every run in DIR (default: the current "
                "directory) that\n"
                "                   never reached its stop, from its journal RUVEZ_*.journal, "
                "as every start\n"
                "                   of the monitor does, and say what was recovered; then "
                "exit\n"),
      Flag("--list-ports", &o->list_ports)
          .Help("  --list-ports     list this machine's serial devices: the stable "
                "/dev/serial/by-id name, the\n"
                "                   driver, the USB adapter, whether this user may open each one "
                "and whether\n"
                "                   another program holds it, and which COM number leads to it\n"),
      Flag("--version", &o->version).Help("  --version        print the version\n"),
      Flag("--help", &o->help).Alias("-h").Help("  --help           this text\n"),
  };
}

std::string UnknownOption(const std::string& argument) {
  return "unknown or incomplete option \"" + argument + "\"";
}

std::string UnfitValue(const std::string& name, const std::string& value, const char* expected) {
  return name + ": \"" + value + "\" is not " + expected;
}

const OptionWords kWords = {UnknownOption, UnknownOption, UnfitValue};

bool CheckNetworkCombination(const Options& o, std::string* error);

// The options that make sense together; false with the reason in *error.
bool CheckCombination(const Options& o, std::string* error) {
  if (o.headless + o.export_bytes + o.list_ports + o.recover > 1) {
    *error = "--headless, --export-bytes, --list-ports and --recover are modes: say one at most";
    return false;
  }
  const bool other_mode = o.export_bytes || o.list_ports || o.recover;
  const OutputOptions& out = o.outputs;
  if ((out.csv || out.json || out.sequence_byte) && other_mode) {
    *error =
        "--csv, --json and --sequence-byte go with the monitor, not --export-bytes, "
        "--list-ports or --recover";
    return false;
  }
  if (out.JsonToStandardOutput() && !o.headless && !other_mode) {
    *error =
        "--json needs a FILE with the terminal monitor, whose standard output is the screen "
        "(standard output takes the JSON Lines with --headless)";
    return false;
  }
  const bool sim_details = !o.sim_args.empty() || !o.sim_program.empty();
  if ((o.simulate || sim_details) && other_mode) {
    *error =
        "--simulate, --sim-arg and --sim go with the monitor, not --export-bytes, --list-ports "
        "or --recover";
    return false;
  }
  if (sim_details && !o.simulate) {
    *error = "--sim-arg and --sim need --simulate";
    return false;
  }
  return CheckNetworkCombination(o, error);
}

bool CheckNetworkCombination(const Options& o, std::string* error) {
  const NetworkOptions& n = o.outputs.network;
  const bool any =
      n.http || n.mqtt || !n.http_token_file.empty() || !n.mqtt_topic.empty() || n.mqtt_discovery;
  if (any && (o.export_bytes || o.list_ports || o.recover)) {
    *error =
        "the network options go with the monitor, not --export-bytes, --list-ports or --recover";
    return false;
  }
  if (!n.http_token_file.empty() && !n.http) {
    *error = "--http-token needs --http";
    return false;
  }
  if ((!n.mqtt_topic.empty() || n.mqtt_discovery) && !n.mqtt) {
    *error = "--mqtt-topic and --mqtt-discovery need --mqtt";
    return false;
  }
  return true;
}

}  // namespace

bool ParseOptions(int argc, char** argv, Options* o, std::string* error) {
  if (!ParseByTable(argc, argv, OptionTable(o), kWords, error)) return false;
  if (o->help || o->version) return true;
  if (!CheckCombination(*o, error)) return false;
  if (!o->outputs.network.http_token_file.empty() &&
      !ReadTokenFile(o->outputs.network.http_token_file, &o->outputs.network.http_token, error)) {
    return false;
  }
  // The environment's mappings, for the ports that no --com option named.
  return TakeComEnvironment(environ, &o->ports, error);
}

void PrintUsage(std::FILE* out) {
  Options unused;
  std::fputs((kUsageHead + TableHelp(OptionTable(&unused)) + kUsageTail).c_str(), out);
  std::fputs(kUsageReference, out);
}
