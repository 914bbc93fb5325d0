#include "frontend/program/options.h"

#include <unistd.h>

#include <string>
#include <vector>

#include "cli/option_table.h"
#include "frontend/program/usage_reference.h"
#include "outputs/output_options.h"

namespace {

const char kUsageHead[] =
    R"(usage: wsmon [--com N=PATH]... [OUTPUTS] [--simulate [--sim-arg ARG]...] [NETWORK]...
       wsmon --headless [--com N=PATH]... [OUTPUTS] [--simulate [--sim-arg ARG]...] [NETWORK]...
       wsmon [--headless] --replay FILE [--speed N|max] [OUTPUTS] [NETWORK]...
       wsmon --run [--rotate daily|Nh] [--com N=PATH]... [OUTPUTS] [--simulate ...] [NETWORK]...
       wsmon --export-bytes < LINES > FILE
       wsmon --list-ports [--com N=PATH]...
       wsmon --recover [DIR]
       wsmon --help | --version

OUTPUTS: [--csv] [--json [FILE]] [--sequence-byte] [--record FILE]
NETWORK: [--http [ADDR:]PORT [--http-token FILE]]
         [--mqtt HOST[:PORT] [--mqtt-topic PREFIX] [--mqtt-discovery]]

Runs the wireless sensor test monitor. The current directory is the start directory: the
settings file wscfg.cfg and the exports RUVEZ_*.txt live there.

Without a mode option wsmon is the interactive monitor on the terminal (at least 80 x 24): the
window's title, menu bar, sensor panels, counters and error log in character cells, a status
line, and a live chart. Keys: the menu's letters p (open), e (close, setting: press again to
move between them, Enter runs), s (start), t (stop), x (exit), alone or with Alt; F10 marks the
menu bar, the arrows move, Enter runs; a click runs an item; g opens the chart (Left/Right or a
number choose the sensor, Esc returns), l the ledger of every sensor's figures (s sorts, Esc
returns); ?, F1 or h the help of the keys. In the settings dialog Tab moves between the
controls, the arrows within a group, Space toggles, Enter confirms. Ctrl-C exits (the settings
are saved); the terminal closing or SIGTERM stop a run that saves its lines first, then exit.
With standard input or output not a terminal, say --headless.

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
terminal) or a --replay FILE that is no recording; 1 when the simulated receiver, the terminal,
an output or the --record FILE cannot be started, or when the port of --run does not open.
)";

// The options, in the order of the help text.
std::vector<OptionRow> OptionTable(Options* o) {
  std::vector<OptionRow> rows = {
      Flag("--headless", &o->headless)
          .Help("  --headless       run the monitor without a screen, reading commands from "
                "standard input\n"),
      Flag("--run", &o->run)
          .Help("  --run            service mode: open the port and start a run at once with the "
                "saved\n"
                "                   settings, read no commands, stop (exporting the run) and "
                "exit on SIGTERM\n"
                "                   or SIGINT; every run is exported, whatever the settings say "
                "about saving\n"),
      RotateOptionRow(&o->rotate, &o->rotation),
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
      NonEmptyText("--replay", &o->replay, "a file name")
          .Help("  --replay FILE    play the recording FILE (wsmon --record) in place of the "
                "port: the monitor\n"
                "                   shows, counts, logs and writes what the recorded one did (see "
                "Recordings)\n"),
      Custom(
          "--speed",
          [o](const std::string& value, std::string*) {
            o->speed_given = true;
            return ParseSpeed(value, &o->speed);
          },
          "a number above 0 (up to 100000) or max")
          .Help("  --speed N|max    with --replay: N times as fast as recorded (1 as it happened), "
                "or max, as\n"
                "                   fast as the machine goes (the default)\n"),
      Flag("--export-bytes", &o->export_bytes)
          .Help("  --export-bytes   read list box lines (UTF-8, one per line) from standard input "
                "and write the\n"
                "                   bytes the export writes for them: code page 936, each line "
                "ended by CR LF\n"),
  };
  std::vector<OptionRow> outputs = OutputOptionRows(&o->outputs, JsonTarget::kFileOrStandardOutput);
  rows.insert(rows.end(), outputs.begin(), outputs.end());
  rows.insert(
      rows.end(),
      {
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
              .Help(
                  "  --list-ports     list this machine's serial devices: the stable "
                  "/dev/serial/by-id name, the\n"
                  "                   driver, the USB adapter, whether this user may open each one "
                  "and whether\n"
                  "                   another program holds it, and which COM number leads to "
                  "it\n"),
          Flag("--version", &o->version).Help("  --version        print the version\n"),
          Flag("--help", &o->help).Alias("-h").Help("  --help           this text\n"),
      });
  return rows;
}

// The options that make sense together; false with the reason in *error. The first refusal
// that applies is the one told, so the more general ones come first.
bool CheckCombination(const Options& o, std::string* error) {
  const bool other_mode = o.export_bytes || o.list_ports || o.recover;
  const OutputOptions& out = o.outputs;
  const bool sim_details = !o.sim_args.empty() || !o.sim_program.empty();
  const bool replay = !o.replay.empty();
  const bool record = !out.record_file.empty();
  struct Refusal {
    bool applies;
    const char* why;
  };
  const Refusal refusals[] = {
      {o.headless + o.run + o.export_bytes + o.list_ports + o.recover > 1,
       "--headless, --run, --export-bytes, --list-ports and --recover are modes: say one at "
       "most"},
      {o.rotate && !o.run, "--rotate needs --run"},
      {(out.csv || out.json || out.sequence_byte) && other_mode,
       "--csv, --json and --sequence-byte go with the monitor, not --export-bytes, "
       "--list-ports or --recover"},
      {out.JsonToStandardOutput() && !o.headless && !o.run && !other_mode,
       "--json needs a FILE with the terminal monitor, whose standard output is the screen "
       "(standard output takes the JSON Lines with --headless and --run)"},
      {(o.simulate || sim_details) && other_mode,
       "--simulate, --sim-arg and --sim go with the monitor, not --export-bytes, --list-ports "
       "or --recover"},
      {sim_details && !o.simulate, "--sim-arg and --sim need --simulate"},
      {replay && (o.export_bytes || o.list_ports),
       "--replay goes with the monitor, not --export-bytes or --list-ports"},
      {record && (o.export_bytes || o.list_ports),
       "--record goes with the monitor, not --export-bytes or --list-ports"},
      {record && replay, "--record keeps what a port gives; a replay has its recording already"},
      {replay && o.run, "--replay goes with --headless or the terminal monitor, not --run"},
      {replay && o.simulate,
       "--replay plays a recording in place of the port: leave out --simulate"},
      {o.speed_given && !replay, "--speed needs --replay"},
      // The network options: the others were refused with these modes above.
      {out.Any() && other_mode,
       "the network options go with the monitor, not --export-bytes, --list-ports or --recover"},
  };
  for (const Refusal& refusal : refusals) {
    if (refusal.applies) {
      *error = refusal.why;
      return false;
    }
  }
  return true;
}

}  // namespace

bool ParseOptions(int argc, char** argv, Options* o, std::string* error) {
  if (!ParseByTable(argc, argv, OptionTable(o), kMonitorOptionWords, error)) return false;
  if (o->help || o->version) return true;
  if (!CheckCombination(*o, error) || !FinishOutputOptions(&o->outputs, error)) return false;
  // The environment's mappings, for the ports that no --com option named.
  return TakeComEnvironment(environ, &o->ports, error);
}

void PrintUsage(std::FILE* out) {
  Options unused;
  std::fputs((kUsageHead + TableHelp(OptionTable(&unused)) + kUsageTail).c_str(), out);
  std::fputs(kUsageReference, out);
}
