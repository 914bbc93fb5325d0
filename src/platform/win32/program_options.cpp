#include "platform/win32/program_options.h"

#include <cctype>
#include <cstdint>

#include "cli/decimal.h"

namespace {

constexpr int kLastComNumber = 255;

const char kUsageHead[] =
    R"(usage: wsmon.exe [--com N=COMx]... [--ledger] [OUTPUTS] [NETWORK]
       wsmon.exe --run [--rotate daily|Nh] [--com N=COMx]... [--ledger] [OUTPUTS] [NETWORK]
       wsmon.exe --help | --version

OUTPUTS: [--csv] [--json FILE] [--sequence-byte] [--record FILE]
NETWORK: [--http [ADDRESS:]PORT [--http-token FILE]]
         [--mqtt HOST[:PORT] [--mqtt-topic PREFIX] [--mqtt-discovery]]

Runs the wireless sensor test monitor. The folder it starts in is its start directory: the
settings file wscfg.cfg, the exports RUVEZ_*.txt and the CSV files are written there.

Without options the window is the monitor alone. With any option the menu also has
统计(ledger) after exit: a window with a row per watched sensor and its reception figures
(readings, missing values, bad check bytes, intervals, gaps and missed readings, delivery,
age, values), silent sensors in red, sorted by a click on a column's header (a second click
turns the order round), updated at every poll; its status line tells the run's figures, when
the receiver's port is lost, and what the outputs report. During a run Windows does not go to
sleep.

With --run the monitor opens the port and starts a run as soon as its window is shown, with
the settings of wscfg.cfg, and saves (exports) every run whatever the settings say about
saving. Closing the window, the menu's exit and the end of the Windows session (logoff,
shutdown) stop the run in progress first, which exports it, and then end the program; the
menu's close and settings stop it first too.

Options:
)";

const char kUsageTail[] = R"(
A shortcut with options: right-click wsmon.exe, Create shortcut, then in the shortcut's
Properties set Target to, for example,
  "C:\wsmon\wsmon.exe" --com 1=COM7 --csv --http 9100
and Start in to the folder for the settings and the exports, C:\wsmon.

Exit status: 0 after the monitor ended; 2 for a bad command line; 1 when an output cannot
start (the JSON Lines file cannot be opened, the HTTP port is taken, the --record FILE exists),
which a message says, or when the port of --run does not open.
)";

// "COMx" (any case) with x from 1 to 255: x, else 0.
int ComName(const std::string& name) {
  if (name.size() < 4) return 0;
  for (int i = 0; i < 3; ++i) {
    if (std::toupper(static_cast<unsigned char>(name[static_cast<std::size_t>(i)])) != "COM"[i])
      return 0;
  }
  std::int64_t number = 0;
  return ParseWholeNumber(name.substr(3), 1, kLastComNumber, &number) ? static_cast<int>(number)
                                                                      : 0;
}

OptionRow ComRow(std::map<int, int>* com) {
  return Custom(
             "--com",
             [com](const std::string& value, std::string*) {
               const std::size_t equals = value.find('=');
               std::int64_t port = 0;
               if (equals == std::string::npos ||
                   !ParseWholeNumber(value.substr(0, equals), 1, kLastComNumber, &port))
                 return false;
               const int target = ComName(value.substr(equals + 1));
               if (target == 0) return false;
               (*com)[static_cast<int>(port)] = target;
               return true;
             },
             "N=COMx with N and x from 1 to 255 (for example 1=COM7)")
      .Missing("--com needs a value N=COMx (for example --com 1=COM7)")
      .Help(
          "  --com N=COMx     open COMx where the settings choose port N (repeatable; N and x from "
          "1 to\n"
          "                   255): a receiver on COM5 or above is chosen as COM1 to COM4\n");
}

std::vector<OptionRow> OptionTable(ProgramOptions* o) {
  std::vector<OptionRow> rows = {
      ComRow(&o->com),
      Flag("--run", &o->run)
          .Help("  --run            service mode: open the port and start a run at once; every "
                "run is exported\n"),
      RotateOptionRow(&o->rotate, &o->rotation),
  };
  const std::vector<OptionRow> outputs = OutputOptionRows(&o->outputs, JsonTarget::kFileOnly);
  rows.insert(rows.end(), outputs.begin(), outputs.end());
  rows.insert(rows.end(),
              {
                  Flag("--ledger", &o->ledger)
                      .Help("  --ledger         the menu's 统计(ledger) item without any other "
                            "option\n"),
                  Flag("--version", &o->version).Help("  --version        show the version\n"),
                  Flag("--help", &o->help).Alias("-h").Help("  --help           this text\n"),
              });
  return rows;
}

}  // namespace

bool ParseProgramOptions(const std::vector<std::string>& args, ProgramOptions* o,
                         std::string* error) {
  std::vector<std::string> words = {"wsmon.exe"};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(&word[0]);
  argv.push_back(nullptr);
  if (!ParseByTable(static_cast<int>(words.size()), argv.data(), OptionTable(o),
                    kMonitorOptionWords, error))
    return false;
  if (o->help || o->version) return true;
  if (o->rotate && !o->run) {
    *error = "--rotate needs --run";
    return false;
  }
  return FinishOutputOptions(&o->outputs, error);
}

std::string ProgramUsage() {
  ProgramOptions unused;
  return kUsageHead + TableHelp(OptionTable(&unused)) + kUsageTail;
}
