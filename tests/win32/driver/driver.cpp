// Drives the shipped wsmon.exe from outside, as an operator would, and checks what it shows,
// sends and writes. Runs under Wine inside a virtual desktop; the script that starts it wires
// the monitor's COM1 to the receiver port given here.
//
// Usage: wsmon_driver PROGRAM WORK_DIR OUT_DIR RECEIVER_PORT SMALL_DESKTOP
//                     [OUTPUTS_PORT HTTP_PORT MQTT_PORT TOKEN_FILE OPEN_TOKEN_FILE]
//   PROGRAM        wsmon.exe
//   WORK_DIR       a folder for the monitor's start directories (one per run)
//   OUT_DIR        where the screenshots and the list box lines are written
//   RECEIVER_PORT  the port joined to the monitor's COM1, for example COM2
//   SMALL_DESKTOP  a desktop of 800 x 600 pixels
// and for the runs with options:
//   OUTPUTS_PORT   the port joined to the monitor's COM12, for example COM7
//   HTTP_PORT      a free port on 127.0.0.1 for the monitor's HTTP server
//   MQTT_PORT      the port of a broker on 127.0.0.1, which the script reads
//   TOKEN_FILE     a file with the HTTP token that only its owner may read
//   OPEN_TOKEN_FILE  the same token in a file that everyone may read
// The monitor's COM4 must lead nowhere (a port that opens but cannot be set up). The script
// unplugs the line between COM1 and the receiver port when the driver creates WORK_DIR\unplug,
// and plugs it in again for WORK_DIR\replug; it answers each with a file NAME.done. For
// WORK_DIR\scrape it reads the monitor's /metrics into OUT_DIR\metrics.txt, answered the same way.
//
//        wsmon_driver --service PROGRAM WORK_DIR RECEIVER_PORT
// runs the service: wsmon.exe --run --rotate 2s in WORK_DIR with its COM1 opening RECEIVER_PORT.
// For WORK_DIR\simulate the script starts the simulated receiver on the far end of that port,
// answers with simulate.done once it is there, and the receiver writes its summary into
// WORK_DIR\sim.txt when it ends; the line stays up after it.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/resource_ids.h"
#include "app/texts.h"
#include "checks.h"
#include "operator.h"
#include "receiver.h"
#include "screen.h"
#include "support/frames.h"

namespace {

constexpr DWORD kStartTimeoutMs = 20000;
constexpr DWORD kTimeoutMs = 5000;
constexpr DWORD kResendAfterMs = 2500;
constexpr DWORD kOutageMs = 1500;

struct Paths {
  std::wstring program;
  std::wstring work;
  std::wstring out;
  std::wstring receiver_port;
  std::wstring small_desktop;
  // For the runs with options (empty: none).
  std::wstring outputs_receiver_port;  // joined to the monitor's COM12
  std::wstring http_port;
  std::wstring mqtt_port;
  std::wstring token_file;       // readable by its owner alone
  std::wstring open_token_file;  // readable by everyone
};

// Menu items left to right, and the mnemonics of those the driver chooses by keyboard. The
// ledger's item is there only when the program was given options.
enum MenuItem { kOpen, kClose, kSettings, kStart, kStop, kExit, kLedger };
constexpr int kMenuItems = 6;
const char* const kMenuNames[] = {"open", "close", "settings", "start", "stop", "exit", "ledger"};

std::string Str(int value) {
  return std::to_string(value);
}

Bytes ReadFileBytes(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool FileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A new start directory WORK_DIR\name, with wscfg.cfg holding these settings unless empty.
std::wstring StartDir(const Paths& paths, const wchar_t* name, const std::string& settings = "") {
  const std::wstring dir = paths.work + L"\\" + name;
  CreateDirectoryW(dir.c_str(), nullptr);
  if (!settings.empty())
    std::ofstream((dir + L"\\wscfg.cfg").c_str(), std::ios::binary) << settings;
  return dir;
}

HWND WaitMain(Monitor& monitor) {
  return monitor.WaitMainWindow(Wide(text::kWindowTitle), kStartTimeoutMs);
}

// The files in a folder whose names match a pattern.
std::vector<std::wstring> FilesLike(const std::wstring& dir, const wchar_t* pattern) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((dir + L"\\" + pattern).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    names.push_back(found.cFileName);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

// The export files in a folder.
std::vector<std::wstring> ExportFiles(const std::wstring& dir) {
  return FilesLike(dir, L"RUVEZ_*.txt");
}

std::string Join(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) out += "[" + line + "]";
  return out;
}

// The sensor panels' captions for a panel count, in order.
std::vector<std::string> PanelCaptions(int count) {
  std::vector<std::string> captions;
  for (int i = 0; i < count; ++i) {
    char caption[32];
    std::snprintf(caption, sizeof caption, text::kPanelCaptionFormat, i);
    captions.push_back(caption);
  }
  return captions;
}

// The sensor panels shown, in creation order: their captions, and their windows when asked.
std::vector<std::string> PanelCaptionsShown(HWND main, std::vector<HWND>* panels = nullptr) {
  std::vector<std::string> captions;
  for (const Box& box : ListBoxes(main)) {
    if (box.caption.rfind("传感器", 0) != 0) continue;
    captions.push_back(box.caption);
    if (panels != nullptr) panels->push_back(box.hwnd);
  }
  return captions;
}

bool WaitPanels(HWND main, int count) {
  return WaitFor([&] { return PanelCaptionsShown(main) == PanelCaptions(count); }, kTimeoutMs);
}

std::string OnlyLine(HWND box) {
  const std::vector<std::string> lines = LinesOf(box);
  return lines.size() == 1 ? lines[0] : Join(lines);
}

// Waits until a one-line box shows text.
bool WaitLine(HWND box, const std::string& text) {
  return WaitFor([&] { return OnlyLine(box) == text; }, kTimeoutMs);
}

std::string Count(int n) {
  char text[16];
  std::snprintf(text, sizeof text, text::kCountFormat, n);
  return text;
}

std::string MenuLook(const std::vector<MenuItemLook>& items) {
  std::string out;
  for (const MenuItemLook& item : items) {
    out += (item.enabled ? "+" : "-") + Str(item.left) + ".." + Str(item.right) + "/" +
           Str(item.darkest) + " ";
  }
  return out;
}

// Checks which menu items are drawn enabled, as the operator sees the bar.
void ExpectMenu(Checks& checks, HWND main, const std::string& when,
                const std::vector<MenuItem>& enabled, int item_count = kMenuItems) {
  std::vector<bool> want(static_cast<std::size_t>(item_count), false);
  for (MenuItem item : enabled) want[item] = true;
  std::vector<MenuItemLook> items;
  const bool ok = WaitFor(
      [&] {
        Screenshot shot;
        if (!CaptureScreen(&shot)) return false;
        items = ReadMenuBar(shot, main, item_count);
        if (items.size() != static_cast<std::size_t>(item_count)) return false;
        for (int i = 0; i < item_count; ++i) {
          if (items[static_cast<std::size_t>(i)].enabled != want[static_cast<std::size_t>(i)])
            return false;
        }
        return true;
      },
      kTimeoutMs);
  std::string names;
  for (MenuItem item : enabled) names += std::string(names.empty() ? "" : ", ") + kMenuNames[item];
  checks.Expect(ok, when + ": the menu bar shows only " + names + " enabled", MenuLook(items));
}

bool Matches(const std::string& line, const std::string& pattern) {
  return std::regex_match(line, std::regex(pattern));
}

// Time of day and the interval since the sensor's previous reading, as a line shows them.
const std::string kTime = R"(\d\d:\d\d:\d\d)";
const std::string kInterval = R"(-( \d|\d\d+)\.\d)";

// A dialog of the monitor with a caption, answered with OK after its text was checked.
void ExpectMessage(Checks& checks, Monitor& monitor, const char* caption, const char* message,
                   const std::string& when) {
  const HWND box = monitor.WaitDialog(Wide(caption), kStartTimeoutMs);
  if (!checks.Expect(box != nullptr, when + ": a message box captioned " + caption + " appears"))
    return;
  checks.ExpectEqual(MessageBoxText(box), message, when + ": its text");
  AnswerOk(box);
  checks.Expect(WaitFor([&] { return monitor.NoDialog(Wide(caption)); }, kTimeoutMs),
                when + ": OK closes it");
}

void SaveScreenshot(Checks& checks, const std::wstring& path, const std::string& what) {
  Screenshot shot;
  checks.Expect(CaptureScreen(&shot) && SaveBmp(shot, path), "a screenshot " + what + " is saved");
}

// Sends bytes and waits until the counters move. The start purges the port right after it has
// written the panel headers, which the driver waits for: a batch sent in between is lost, so one
// after which nothing moved for ten polls is sent once more. During the run the monitor keeps
// every byte of this plain receiver.
void Deliver(Checks& checks, Receiver& receiver, const Bytes& bytes, HWND good, HWND bad) {
  const std::string before = OnlyLine(good) + "|" + OnlyLine(bad);
  for (int attempt = 0; attempt < 2; ++attempt) {
    receiver.Send(bytes);
    if (WaitFor([&] { return OnlyLine(good) + "|" + OnlyLine(bad) != before; }, kResendAfterMs)) {
      return;
    }
    checks.Note("nothing was counted: sending " + Dump(bytes) + " again");
  }
}

// The program ends with code 0 and leaves its settings in wscfg.cfg.
void ExpectEndWithSettings(Checks& checks, Monitor& monitor, const std::wstring& dir,
                           const std::string& how, const Bytes& settings,
                           const std::string& meaning) {
  checks.Expect(monitor.WaitExit(kTimeoutMs) == 0, how + " ends the program with code 0");
  const Bytes config = ReadFileBytes(dir + L"\\wscfg.cfg");
  checks.Expect(config == settings, how + " writes wscfg.cfg: " + meaning, Dump(config));
}

HWND OpenSettings(Checks& checks, Monitor& monitor, HWND main, const std::string& when) {
  ChooseCommand(main, CMD_SETTINGS);
  const HWND dialog = monitor.WaitDialog(Wide(text::kDialogCaption), kTimeoutMs);
  checks.Expect(dialog != nullptr, when + ": the settings dialog opens");
  return dialog;
}

bool DialogCloses(Monitor& monitor) {
  return WaitFor([&] { return monitor.NoDialog(Wide(text::kDialogCaption)); }, kTimeoutMs);
}

// --- First start: no configuration file, a whole run against the receiver ------------------

// What the phases of the first start share: its start directory, the monitor and its windows.
struct FirstRun {
  std::wstring dir;
  Monitor monitor;
  HWND main = nullptr;
  HWND good = nullptr;
  HWND bad = nullptr;
  HWND ratio = nullptr;
  HWND log = nullptr;
  std::vector<HWND> panels;
};

// Without wscfg.cfg: the message, then the main window with the defaults' boxes and menu.
bool StartWithoutSettings(Checks& checks, const Paths& paths, FirstRun& run) {
  run.dir = StartDir(paths, L"first");
  if (!checks.Expect(run.monitor.Start(paths.program, run.dir), "the monitor starts")) return false;
  ExpectMessage(checks, run.monitor, text::kCaptionErrorBang, text::kConfigReadFailed,
                "first start without wscfg.cfg");

  const HWND main = run.main = WaitMain(run.monitor);
  if (!checks.Expect(main != nullptr, "the main window appears with its title")) return false;
  RECT rect = {};
  GetWindowRect(main, &rect);
  checks.Expect(rect.right - rect.left == 1024 && rect.bottom - rect.top == 768,
                "the main window is 1024 x 768",
                Str(rect.right - rect.left) + " x " + Str(rect.bottom - rect.top));

  // The boxes of the defaults: four panels, then the error log and the three counters.
  std::vector<std::string> captions = PanelCaptions(4);
  for (const char* caption : {text::kErrorLogCaption, text::kGoodCountCaption,
                              text::kBadCountCaption, text::kErrorRatioCaption}) {
    captions.push_back(caption);
  }
  std::vector<std::string> shown;
  bool styles_ok = true;
  std::string styles;
  for (const Box& box : ListBoxes(main)) {
    shown.push_back(box.caption);
    // The list box shows and hides its scroll bars itself, and their style bits with them.
    const std::uint32_t style =
        StyleOf(box.hwnd) & ~static_cast<std::uint32_t>(WS_VSCROLL | WS_HSCROLL);
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08X ", static_cast<unsigned>(StyleOf(box.hwnd)));
    styles += hex;
    if (style != (WS_CHILD | WS_VISIBLE | WS_CAPTION)) styles_ok = false;
  }
  checks.Expect(shown == captions, "four sensor panels, the error log and three counter boxes",
                Join(shown));
  checks.Expect(styles_ok,
                "panels and boxes are captioned child list boxes without list box styles", styles);
  const HWND good = run.good = BoxByCaption(main, text::kGoodCountCaption);
  const HWND bad = run.bad = BoxByCaption(main, text::kBadCountCaption);
  const HWND ratio = run.ratio = BoxByCaption(main, text::kErrorRatioCaption);
  const HWND log = run.log = BoxByCaption(main, text::kErrorLogCaption);
  if (good == nullptr || bad == nullptr || ratio == nullptr || log == nullptr) return false;
  checks.Expect(OnlyLine(good) == text::kInitialCount && OnlyLine(bad) == text::kInitialCount &&
                    OnlyLine(ratio) == text::kInitialRatio && LinesOf(log).empty(),
                "counters start at zero and the error log is empty",
                OnlyLine(good) + "|" + OnlyLine(bad) + "|" + OnlyLine(ratio));
  ExpectMenu(checks, main, "after start-up", {kOpen, kSettings, kExit});
  return true;
}

// Open (Alt+P), then the settings dialog: Esc leaves it open; 5 sensors with saving on.
bool OpenAndSetFiveSensors(Checks& checks, const Paths& paths, Receiver& receiver, FirstRun& run) {
  Monitor& monitor = run.monitor;
  const HWND main = run.main;
  // The probe reaches the receiver.
  ChooseByMnemonic(main, L'p');
  const Bytes probe = receiver.Collect(3, kTimeoutMs);
  checks.ExpectEqual(std::string(probe.begin(), probe.end()), "ABC",
                     "opening the port sends the probe to the receiver");
  ExpectMenu(checks, main, "port open", {kClose, kSettings, kStart, kExit});

  // The dialog's texts are the resource script's, checked by the adapter tests.
  const HWND dialog = OpenSettings(checks, monitor, main, "port open");
  if (dialog == nullptr) return false;
  // The picture once the dialog has drawn its controls (the confirm button's text).
  checks.Expect(WaitFor(
                    [&] {
                      RECT button = {};
                      Screenshot shot;
                      return GetWindowRect(GetDlgItem(dialog, IDC_CONFIRM), &button) &&
                             CaptureScreen(&shot) && HasText(shot, button);
                    },
                    kTimeoutMs),
                "the settings dialog draws its controls");
  SaveScreenshot(checks, paths.out + L"\\wsmon-settings.bmp", "of the settings dialog");
  // The click queues behind the Esc: once it has been handled, so has the Esc.
  PostMessageW(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
  PostMessageW(dialog, WM_KEYUP, VK_ESCAPE, 0);
  Click(dialog, IDC_SAVE_LOG);
  TypeInto(dialog, IDC_SENSOR_COUNT, "5");
  checks.Expect(WaitFor([&] { return IsChecked(dialog, IDC_SAVE_LOG); }, kTimeoutMs),
                "clicking the check box turns saving on");
  checks.Expect(!monitor.NoDialog(Wide(text::kDialogCaption)), "Esc leaves the dialog open");
  Click(dialog, IDC_CONFIRM);
  checks.Expect(DialogCloses(monitor), "confirm closes the dialog");
  checks.Expect(WaitPanels(main, 6), "5 sensors rebuild the grid as six panels",
                Join(PanelCaptionsShown(main)));
  return true;
}

// Start (Alt+S), then clean frames and a damaged one.
bool RunWithFrames(Checks& checks, const Paths& paths, Receiver& receiver, FirstRun& run) {
  const HWND main = run.main;
  const HWND good = run.good;
  const HWND bad = run.bad;
  const HWND ratio = run.ratio;
  const HWND log = run.log;
  // Every panel gets a header line with the clock's date and time.
  ChooseByMnemonic(main, L's');
  checks.Expect(WaitLine(good, text::kStartCount) && WaitLine(bad, text::kStartCount) &&
                    WaitLine(ratio, text::kStartRatio),
                "start shows 0000, 0000 and 00.00%");
  ExpectMenu(checks, main, "running", {kClose, kSettings, kStop, kExit});
  std::vector<HWND>& panels = run.panels;
  PanelCaptionsShown(main, &panels);
  bool headers_ok = panels.size() == 6;
  for (std::size_t i = 0; headers_ok && i < panels.size(); ++i) {
    const std::vector<std::string> lines = LinesOf(panels[i]);
    headers_ok =
        lines.size() == 1 && Matches(lines[0], "sensor" + Str(static_cast<int>(i)) +
                                                   R"(, 开始于:<\d{4}/\d\d/\d\d--\d\d:\d\d:\d\d>)");
  }
  checks.Expect(headers_ok, "each panel holds one header line sensorN with the start time",
                panels.empty() ? "" : Join(LinesOf(panels[0])));

  // Clean frames of three sensors (the numbers' every shape is the core's tests' concern).
  const Bytes batch = Concat({MakeFrame(0, 0x3A, 0x0171, 0x01C8),    // +23.0625 degrees, 45.6 %RH
                              MakeFrame(1, 0x3C, 0x0828, 0x0320),    // -2.5 degrees, 80.0 %RH
                              MakeFrame(2, 0x3B, 0xFFFF, 0xFFFF)});  // no values
  Deliver(checks, receiver, batch, good, bad);
  checks.Expect(WaitLine(good, Count(3)) && OnlyLine(bad) == text::kStartCount,
                "three clean frames count three good frames", OnlyLine(good));
  const std::vector<std::string> expected_readings = {
      "000-" + kTime + R"(-3A-\+23\.1℃/45\.6%RH)" + kInterval,
      "000-" + kTime + R"(-3C--2\.5℃/80\.0%RH)" + kInterval,
      "000-" + kTime + R"(-3B-<----/---->)" + kInterval,
  };
  for (std::size_t i = 0; i < expected_readings.size() && i < panels.size(); ++i) {
    const std::vector<std::string> lines = LinesOf(panels[i]);
    checks.Expect(lines.size() == 2 && Matches(lines[1], expected_readings[i]),
                  "sensor " + Str(static_cast<int>(i)) + " shows its reading", Join(lines));
  }

  // A frame with a bad check byte.
  Bytes broken = MakeFrame(0, 0x3A, 0x0171, 0x01C8);
  broken[7] ^= 0x01;
  Deliver(checks, receiver, broken, good, bad);
  checks.Expect(WaitLine(bad, Count(1)), "a bad check byte counts one error event", OnlyLine(bad));
  std::vector<std::string> log_lines = LinesOf(log);
  checks.Expect(log_lines.size() == 1 &&
                    Matches(log_lines[0], "00001 -> " + kTime + " -- ERR2,n=0,D:" + Dump(broken)),
                "the error log dumps the broken frame", Join(log_lines));

  // Each panel scrolls sideways as far as its widest line; with the prefix's fonts, whose
  // Latin letters are as wide as those of a Chinese Windows, every line fits without scrolling.
  bool reachable = !panels.empty();
  bool fits = !panels.empty();
  std::string extents;
  for (HWND panel : panels) {
    RECT client = {};
    GetClientRect(panel, &client);
    const LRESULT extent = SendMessageW(panel, LB_GETHORIZONTALEXTENT, 0, 0);
    reachable = reachable && extent > 0;
    fits = fits && extent <= client.right;
    extents += Str(static_cast<int>(extent)) + "/" + Str(static_cast<int>(client.right)) + " ";
  }
  checks.Expect(reachable, "every panel can be scrolled to the end of its widest line", extents);
  checks.Expect(fits, "every panel line fits its panel", extents);
  SaveScreenshot(checks, paths.out + L"\\wsmon-running.bmp", "of the running monitor");
  return true;
}

// Stop (Alt+T) with saving on: the export file appears; the boxes keep the run's figures.
bool StopAndExport(Checks& checks, const Paths& paths, FirstRun& run) {
  const HWND main = run.main;
  const std::wstring& dir = run.dir;
  ChooseByMnemonic(main, L't');
  checks.Expect(WaitFor([&] { return ExportFiles(dir).size() == 1; }, kTimeoutMs),
                "stop with saving on writes one RUVEZ_*.txt");
  ExpectMenu(checks, main, "stopped", {kClose, kSettings, kStart, kExit});
  {
    // The lines in the order the export walks them (the panels, then the error log), UTF-8.
    std::ofstream out((paths.out + L"\\listbox-lines.txt").c_str(), std::ios::binary);
    std::vector<HWND> boxes = run.panels;
    boxes.push_back(run.log);
    for (HWND box : boxes) {
      for (const std::string& line : LinesOf(box)) out << line << "\n";
    }
  }
  return true;
}

// Settings again: leaving by the exit button or the close box changes nothing; 4 sensors
// rebuild the grid as four panels.
bool SettingsWhileStopped(Checks& checks, FirstRun& run) {
  Monitor& monitor = run.monitor;
  const HWND main = run.main;
  HWND dialog = OpenSettings(checks, monitor, main, "stopped");
  if (dialog == nullptr) return false;
  TypeInto(dialog, IDC_SENSOR_COUNT, "12");
  Click(dialog, IDC_EXIT);
  checks.Expect(DialogCloses(monitor) && WaitPanels(main, 6) && !run.panels.empty() &&
                    LinesOf(run.panels[0]).size() == 2,
                "the exit button leaves panels and lines as they were");
  dialog = OpenSettings(checks, monitor, main, "after leaving");
  if (dialog == nullptr) return false;
  TypeInto(dialog, IDC_SENSOR_COUNT, "12");
  PostMessageW(dialog, WM_CLOSE, 0, 0);
  checks.Expect(DialogCloses(monitor) && WaitPanels(main, 6), "the close box changes nothing");
  dialog = OpenSettings(checks, monitor, main, "after closing");
  if (dialog == nullptr) return false;
  TypeInto(dialog, IDC_SENSOR_COUNT, "4");
  Click(dialog, IDC_CONFIRM);
  checks.Expect(DialogCloses(monitor) && WaitPanels(main, 4),
                "4 sensors rebuild the grid as four panels", Join(PanelCaptionsShown(main)));
  return true;
}

// Exit (Alt+X): the program ends and keeps the settings.
bool ExitKeepsTheSettings(Checks& checks, FirstRun& run) {
  ChooseByMnemonic(run.main, L'x');
  ExpectEndWithSettings(checks, run.monitor, run.dir, "exit", {1, 0, 1, 4},
                        "COM1, 9600, saving on, 4 sensors");
  return true;
}

// --- A run through an unplugged and replugged receiver ----------------------------------------

// Asks the script to unplug or replug the line (or to read /metrics) and waits until it has.
bool AskScript(const Paths& paths, const wchar_t* request) {
  const std::wstring file = paths.work + L"\\" + request;
  CloseHandle(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
  return WaitFor([&] { return FileExists(file + L".done"); }, kStartTimeoutMs);
}

// A monitor started in dir with 4 sensors, its port opened and a run started by the menu.
struct StartedRun {
  HWND main = nullptr;
  HWND good = nullptr;
  HWND bad = nullptr;
  HWND log = nullptr;
  std::vector<HWND> panels;
};

bool StartRunIn(Checks& checks, const Paths& paths, Receiver& receiver, const std::wstring& dir,
                const std::string& what, Monitor& monitor, StartedRun* run) {
  if (!checks.Expect(monitor.Start(paths.program, dir), "the monitor starts for " + what))
    return false;
  const HWND main = run->main = WaitMain(monitor);
  if (!checks.Expect(main != nullptr, "its main window appears")) return false;
  run->good = BoxByCaption(main, text::kGoodCountCaption);
  run->bad = BoxByCaption(main, text::kBadCountCaption);
  run->log = BoxByCaption(main, text::kErrorLogCaption);
  PanelCaptionsShown(main, &run->panels);
  if (run->good == nullptr || run->bad == nullptr || run->log == nullptr || run->panels.size() != 4)
    return false;
  ChooseByMnemonic(main, L'p');
  receiver.Collect(3, kTimeoutMs);  // the probe
  ChooseByMnemonic(main, L's');
  return checks.Expect(WaitLine(run->good, text::kStartCount), "the run starts");
}

void Replug(Checks& checks, const Paths& paths, Receiver& receiver) {
  // COM1, 9600 baud, saving off, 4 sensors.
  const std::wstring dir = StartDir(paths, L"replug", std::string("\1\0\0\4", 4));
  Monitor monitor;
  StartedRun run;
  if (!StartRunIn(checks, paths, receiver, dir, "the replug", monitor, &run)) return;
  const HWND main = run.main;
  const HWND good = run.good;
  const HWND bad = run.bad;
  const HWND log = run.log;
  const std::vector<HWND>& panels = run.panels;
  Deliver(checks, receiver, MakeFrame(0, 0x01, 0x0171, 0x01C8), good, bad);
  checks.Expect(WaitLine(good, Count(1)), "a reading before the unplug");

  // The receiver's end closes first: a hang-up of a line that Wine still holds floods its
  // server's output.
  receiver.Close();
  if (!checks.Expect(AskScript(paths, L"unplug"), "the line is unplugged")) return;
  const std::string err3 = "00000 -> " + kTime + " -- ERR3,COM PORT READ ERR!";
  checks.Expect(WaitFor([&] { return LinesOf(log).size() == 1 && Matches(LinesOf(log)[0], err3); },
                        kTimeoutMs),
                "the loss of the device is logged as one ERR3 line", Join(LinesOf(log)));
  Sleep(kOutageMs);  // polls that find the device away
  if (!checks.Expect(AskScript(paths, L"replug") && receiver.Open(paths.receiver_port),
                     "the line is plugged in again"))
    return;
  Deliver(checks, receiver,
          Concat({MakeFrame(0, 0x02, 0x0171, 0x01C8), MakeFrame(1, 0x01, 0x0828, 0x0320)}), good,
          bad);
  checks.Expect(WaitLine(good, Count(3)) && OnlyLine(bad) == text::kStartCount,
                "the readings after the replug count on in the same run", OnlyLine(good));
  // The next reading of sensor 0 goes on with its running number, and its interval spans the
  // outage.
  const std::vector<std::string> lines = LinesOf(panels[0]);
  const bool numbered =
      lines.size() == 3 &&
      Matches(lines[2], "001-" + kTime + R"(-02-\+23\.1℃/45\.6%RH-<71-01-C8-01-C3>)" + kInterval);
  checks.Expect(numbered && std::stod(lines[2].substr(lines[2].rfind('-') + 1)) * 1000 >= kOutageMs,
                "sensor 0 shows its next reading with its number and the gap", Join(lines));
  checks.Expect(LinesOf(log).size() == 1, "the outage left one error line", Join(LinesOf(log)));
  ChooseByMnemonic(main, L'x');
  checks.Expect(monitor.WaitExit(kTimeoutMs) == 0, "exit after the replug ends with code 0");
}

// --- A run killed in its middle, recovered at the next start -----------------------------------

// The lines of an export in code page 936, ended by CR LF, as UTF-8.
std::vector<std::string> ExportLines(const Bytes& bytes) {
  std::vector<std::string> lines;
  const std::string text(bytes.begin(), bytes.end());
  for (std::size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
    wchar_t wide[1024] = {};
    const int n =
        MultiByteToWideChar(936, 0, text.data() + at, static_cast<int>(end - at), wide, 1023);
    lines.push_back(Utf8(std::wstring(wide, static_cast<std::size_t>(n > 0 ? n : 0))));
  }
  return lines;
}

void RecoverKilledRun(Checks& checks, const Paths& paths, Receiver& receiver) {
  // COM1, 9600 baud, saving on, 4 sensors.
  const std::wstring dir = StartDir(paths, L"killed", std::string("\1\0\1\4", 4));
  std::vector<std::string> shown;  // the panels' lines in order, then the error log's
  {
    Monitor monitor;
    StartedRun run;
    if (!StartRunIn(checks, paths, receiver, dir, "a run to kill", monitor, &run)) return;
    const HWND good = run.good;
    const HWND bad = run.bad;
    std::vector<HWND> boxes = run.panels;
    boxes.push_back(run.log);
    Bytes broken = MakeFrame(2, 0x05, 0x0171, 0x01C8);
    broken[7] ^= 0x01;
    Deliver(
        checks, receiver,
        Concat({MakeFrame(0, 0x01, 0x0171, 0x01C8), MakeFrame(3, 0x02, 0x0828, 0x0320), broken}),
        good, bad);
    checks.Expect(WaitLine(good, Count(2)) && WaitLine(bad, Count(1)),
                  "two readings and an error are shown");
    checks.Expect(FilesLike(dir, L"RUVEZ_*.journal").size() == 1,
                  "the run keeps its journal beside the exports");
    for (HWND box : boxes) {
      for (const std::string& line : LinesOf(box)) shown.push_back(line);
    }
    monitor.Kill();
    checks.Expect(monitor.WaitExit(kTimeoutMs) == 99, "the monitor is killed in its run");
  }
  // The next start makes the export that the stop would have written, and says so.
  Monitor monitor;
  if (!checks.Expect(monitor.Start(paths.program, dir), "the monitor starts again")) return;
  const HWND box = monitor.WaitDialog(Wide(text::kCaptionRecovered), kStartTimeoutMs);
  if (!checks.Expect(box != nullptr, "a message box says that the run was recovered")) return;
  const std::string said = MessageBoxText(box);
  const std::vector<std::wstring> recovered = FilesLike(dir, L"RUVEZ_*_recovered.txt");
  checks.Expect(said.find("did not end with its stop: its " + Str(static_cast<int>(shown.size())) +
                          " lines") != std::string::npos,
                "it tells how many lines were recovered", said);
  checks.Expect(recovered.size() == 1 && said.find(Utf8(recovered[0])) != std::string::npos,
                "it names the recovered export", said);
  AnswerOk(box);
  const std::vector<std::string> exported =
      recovered.empty() ? std::vector<std::string>()
                        : ExportLines(ReadFileBytes(dir + L"\\" + recovered[0]));
  checks.Expect(exported == shown, "the recovered export holds every line the run showed",
                Join(exported) + " / " + Join(shown));
  checks.Expect(FilesLike(dir, L"RUVEZ_*.journal").empty(), "the journal is gone");
  const HWND main = WaitMain(monitor);
  if (main != nullptr) ChooseByMnemonic(main, L'x');
  checks.Expect(monitor.WaitExit(kTimeoutMs) == 0, "exit after the recovery ends with code 0");
}

// --- Second start: settings from the file, a port that cannot be set up, resizing ------------

void SecondStart(Checks& checks, const Paths& paths) {
  // COM1, 38400 baud, saving off, 3 sensors.
  const std::wstring dir = StartDir(paths, L"second", std::string("\1\2\0\3", 4));
  Monitor monitor;
  if (!checks.Expect(monitor.Start(paths.program, dir), "the monitor starts again")) return;
  const HWND main = WaitMain(monitor);
  if (!checks.Expect(main != nullptr && monitor.NoDialog(Wide(text::kCaptionErrorBang)),
                     "with wscfg.cfg the main window appears without a message"))
    return;
  HWND dialog = OpenSettings(checks, monitor, main, "second start");
  if (dialog == nullptr) return;
  checks.Expect(IsChecked(dialog, IDC_COM1) && IsChecked(dialog, IDC_BAUD_38400) &&
                    !IsChecked(dialog, IDC_BAUD_9600) && !IsChecked(dialog, IDC_SAVE_LOG) &&
                    ControlText(dialog, IDC_SENSOR_COUNT) == "3",
                "the dialog shows the file's settings: COM1, 38400, saving off, 3 sensors");
  Click(dialog, IDC_COM4);
  checks.Expect(WaitFor([&] { return IsChecked(dialog, IDC_COM4) && !IsChecked(dialog, IDC_COM1); },
                        kTimeoutMs) &&
                    IsChecked(dialog, IDC_BAUD_38400),
                "choosing COM4 clears COM1 and leaves the baud rate alone");
  Click(dialog, IDC_CONFIRM);
  checks.Expect(DialogCloses(monitor) && WaitPanels(main, 4),
                "confirming 3 sensors keeps the four panels");

  ChooseByMnemonic(main, L'p');
  ExpectMessage(checks, monitor, text::kCaptionError, text::kPortOpenFailed,
                "opening a port that cannot be set up");
  ExpectMenu(checks, main, "after the failed open", {kOpen, kSettings, kExit});

  // Any resize puts the window back where and as large as it was created.
  RECT created = {};
  GetWindowRect(main, &created);
  auto back = [&] {
    RECT now = {};
    GetWindowRect(main, &now);
    return EqualRect(&now, &created) != 0;
  };
  SetWindowPos(main, nullptr, 0, 0, 700, 500, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  checks.Expect(WaitFor(back, kTimeoutMs), "a resize is undone");
  SetWindowPos(main, nullptr, created.left + 40, created.top + 30, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  checks.Expect(WaitFor(
                    [&] {
                      RECT now = {};
                      GetWindowRect(main, &now);
                      return now.left == created.left + 40 && now.top == created.top + 30;
                    },
                    kTimeoutMs),
                "a move is kept");
  SetWindowPos(main, nullptr, 0, 0, 900, 600, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  checks.Expect(WaitFor(back, kTimeoutMs),
                "after a move, the next resize puts the window back at its creation position");

  PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);
  ExpectEndWithSettings(checks, monitor, dir, "the close box", {4, 2, 0, 3},
                        "COM4, 38400, saving off, 3 sensors");
}

// Waits until a condition holds and records that as a check, with what detail tells once the
// wait is over.
bool ExpectSoon(Checks& checks, const std::function<bool()>& condition, DWORD timeout_ms,
                const std::string& what, const std::function<std::string()>& detail) {
  const bool ok = WaitFor(condition, timeout_ms);
  return checks.Expect(ok, what, detail());
}

// --- The command line --------------------------------------------------------------------------

// What the program says to a command line it cannot run or that asks only for a text: a message
// box captioned wsmon, then its exit code.
void CommandLines(Checks& checks, const Paths& paths) {
  const std::wstring dir = StartDir(paths, L"options");
  const struct {
    std::vector<std::wstring> args;
    std::string text;  // the message's beginning
    int exit_code;
  } cases[] = {
      {{L"--version"}, "wsmon 1.50", 0},
      {{L"--help"}, "usage: wsmon.exe [--com N=COMx]...", 0},
      {{L"--com", L"1=/dev/ttyS0"}, "wsmon: --com: \"1=/dev/ttyS0\" is not N=COMx", 2},
      {{L"--json"}, "wsmon: --json needs a FILE", 2},
      {{L"--http", L"0", L"--http-token", paths.open_token_file},
       "wsmon: --http-token " + Utf8(paths.open_token_file) + ": groups of users may read",
       2},
      // The broker's port is taken: an output that cannot start.
      {{L"--http", L"127.0.0.1:" + paths.mqtt_port},
       "wsmon: cannot serve HTTP on http://127.0.0.1:" + Utf8(paths.mqtt_port) + ": ",
       1},
  };
  for (const auto& c : cases) {
    const std::string what = Utf8(c.args[0]) + (c.args.size() > 1 ? " " + Utf8(c.args[1]) : "");
    Monitor monitor;
    if (!checks.Expect(monitor.Start(paths.program, dir, L"", c.args), what + ": wsmon.exe starts"))
      continue;
    const HWND box = monitor.WaitDialog(L"wsmon", kStartTimeoutMs);
    if (!checks.Expect(box != nullptr, what + ": a message box captioned wsmon appears")) continue;
    const std::string text = MessageBoxText(box);
    checks.Note(text.substr(0, text.find('\n')));
    checks.Expect(text.rfind(c.text, 0) == 0, what + ": it says " + c.text, text);
    AnswerOk(box);
    checks.Expect(monitor.WaitExit(kTimeoutMs) == c.exit_code,
                  what + ": the program ends with code " + Str(c.exit_code));
  }
  checks.Expect(!FileExists(dir + L"\\wscfg.cfg"), "none of them started the monitor");
}

// --- A run with the outputs and the ledger window ------------------------------------------------

// The batches of the run: every batch is counted before the next is sent, so that the Linux
// program, given the same batches the same way, must write the same files.
struct Batch {
  Bytes bytes;
  int good;  // the counters once it is counted
  int bad;
};

std::vector<Batch> OutputBatches() {
  // The extra byte is each sensor's count (--sequence-byte): sensor 1 loses one, sensor 0 sends
  // one twice in a poll; sensor 2 sends no values, sensor 3 nothing; id 40 is refused.
  Bytes damaged = MakeFrame(0, 2, 0x0173, 0x01CA);
  damaged[7] ^= 0x01;
  return {
      {Concat({MakeFrame(0, 0, 0x0171, 0x01C8), MakeFrame(1, 0, 0x0828, 0x0320),
               MakeFrame(2, 0, 0xFFFF, 0xFFFF)}),
       3, 0},
      {Concat({MakeFrame(0, 1, 0x0172, 0x01C9), MakeFrame(1, 2, 0x0828, 0x0321), damaged}), 5, 1},
      {Concat({Bytes{0x11, 0x22}, MakeFrame(0, 2, 0x0173, 0x01CA), MakeFrame(0, 2, 0x0173, 0x01CA),
               MakeFrame(40, 0, 0x0100, 0x0100)}),
       8, 2},
  };
}

// The ledger window's cells by header, per row.
std::string Cells(const std::vector<std::string>& headers, const std::vector<std::string>& row,
                  const std::vector<std::string>& wanted) {
  std::string out;
  for (const std::string& name : wanted) {
    for (std::size_t c = 0; c < headers.size() && c < row.size(); ++c) {
      if (headers[c] == name) out += (out.empty() ? "" : " ") + name + "=" + row[c];
    }
  }
  return out;
}

std::string RowsText(const std::vector<std::string>& headers,
                     const std::vector<std::vector<std::string>>& rows,
                     const std::vector<std::string>& wanted) {
  std::string out;
  for (const auto& row : rows) out += "[" + Cells(headers, row, wanted) + "]";
  return out;
}

// The rows' ids in order.
std::string Ids(const std::vector<std::vector<std::string>>& rows) {
  std::string out;
  for (const auto& row : rows) out += (out.empty() ? "" : " ") + (row.empty() ? "?" : row[0]);
  return out;
}

int HeaderIndex(const std::vector<std::string>& headers, const std::string& name) {
  for (std::size_t c = 0; c < headers.size(); ++c) {
    if (headers[c] == name) return static_cast<int>(c);
  }
  return -1;
}

// The ledger window: its rows after the batches, its silent sensor, sorting, its status line.
void CheckLedgerWindow(Checks& checks, const Paths& paths, Monitor& monitor, HWND main) {
  ChooseCommand(main, CMD_LEDGER);
  // A new window with a list view may take a while on a loaded machine.
  const HWND window = monitor.WaitWindow(L"wsmon ledger", L"统计(ledger)", kStartTimeoutMs);
  if (!checks.Expect(window != nullptr, "统计(ledger) opens the ledger window")) return;
  const HWND list = ChildOfClass(window, L"SysListView32");
  const HWND status = ChildOfClass(window, L"msctls_statusbar32");
  if (!checks.Expect(list != nullptr && status != nullptr, "it holds a list and a status line"))
    return;
  RemoteControls remote(monitor.process());
  const std::vector<std::string> wanted = {"id", "readings", "noT", "bad", "lost", "dup"};
  const std::string expected_rows =
      "[id=0 readings=4 noT=0 bad=1 lost=0 dup=1][id=1 readings=2 noT=0 bad=0 lost=1 dup=0]"
      "[id=2 readings=1 noT=1 bad=0 lost=0 dup=0][id=3 readings=0 noT=0 bad=0 lost=- dup=-]"
      "[id=32+ readings=1 noT= bad=0 lost= dup=]";
  std::vector<std::string> headers;
  std::vector<std::vector<std::string>> rows;
  std::vector<LPARAM> silent;
  const auto read = [&] {
    headers = remote.Headers(list);
    rows = remote.Rows(list, &silent);
  };
  ExpectSoon(
      checks,
      [&] {
        read();
        return RowsText(headers, rows, wanted) == expected_rows;
      },
      kTimeoutMs, "a row per watched sensor and one for the refused ids, with the ledger's figures",
      [&] { return RowsText(headers, rows, wanted); });
  checks.Expect(headers.size() > 20 && headers[0] == "id" && HeaderIndex(headers, "deliv%") > 0 &&
                    HeaderIndex(headers, "seq%") > 0,
                "the columns of the ledger's table, the sequence's among them",
                std::to_string(headers.size()) + " columns");

  // Sensor 3 has sent nothing: silent 10 s after the start. The status line counts the rows
  // marked; the refused ids' row is never marked.
  std::string line;
  const auto marked = [&] {
    int count = 0;
    for (std::size_t r = 0; r < silent.size(); ++r) count += silent[r] != 0 ? 1 : 0;
    return count;
  };
  ExpectSoon(
      checks,
      [&] {
        read();
        line = remote.StatusText(status, 0);
        return rows.size() == 5 && silent[3] != 0 && silent[4] == 0 &&
               line.find("(" + Str(marked()) + " silent)") != std::string::npos;
      },
      3 * kStartTimeoutMs,
      "the silent sensor's row is marked, and the status line counts the marked rows",
      [&] { return line; });
  checks.Expect(
      Matches(line, R"(run \d+:\d\d:\d\d: 7 readings, 4 sensors \(\d silent\), 2 error events)"),
      "the status line tells the run's figures", line);

  // A click on a column's header sorts by it; a second one turns the order round.
  const int readings = HeaderIndex(headers, "readings");
  const std::pair<const char*, const char*> sorts[] = {{"3 2 1 0 32+", "ascending"},
                                                       {"0 1 2 3 32+", "descending"}};
  for (const auto& [order, how] : sorts) {
    ClickColumnHeader(list, readings);
    ExpectSoon(
        checks,
        [&] {
          read();
          return Ids(rows) == order;
        },
        kTimeoutMs, std::string("a click on readings sorts the sensors ") + how,
        [&] { return Ids(rows); });
  }
  SaveScreenshot(checks, paths.out + L"\\wsmon-ledger.bmp", "of the ledger window");

  // Closing the window leaves the monitor as it was; the item opens it again.
  PostMessageW(window, WM_CLOSE, 0, 0);
  checks.Expect(WaitFor([&] { return !IsWindow(window); }, kTimeoutMs) && IsWindowVisible(main),
                "closing the ledger window leaves the main window");
  ChooseCommand(main, CMD_LEDGER);
  checks.Expect(monitor.WaitWindow(L"wsmon ledger", L"统计(ledger)", kStartTimeoutMs) != nullptr,
                "the item opens it again");
}

// A run with every output: COM1 of the settings opens COM12; the files, /metrics and the broker
// are the script's to compare and check.
void OutputsRun(Checks& checks, const Paths& paths) {
  Receiver receiver;
  if (!checks.Expect(receiver.Open(paths.outputs_receiver_port), "the receiver's port opens"))
    return;
  // COM1, 9600 baud, saving on, 4 sensors.
  const std::wstring dir = StartDir(paths, L"outputs", std::string("\1\0\1\4", 4));
  Monitor monitor;
  const std::vector<std::wstring> args = {
      L"--com",        L"1=COM12",         L"--csv",    L"--json",
      L"events.jsonl", L"--sequence-byte", L"--http",   L"127.0.0.1:" + paths.http_port,
      L"--http-token", paths.token_file,   L"--mqtt",   L"127.0.0.1:" + paths.mqtt_port,
      L"--mqtt-topic", L"wsmon/e2e",       L"--record", L"run.rec"};
  if (!checks.Expect(monitor.Start(paths.program, dir, L"", args), "the monitor starts")) return;
  const HWND main = WaitMain(monitor);
  if (!checks.Expect(main != nullptr, "its main window appears")) return;
  const HWND good = BoxByCaption(main, text::kGoodCountCaption);
  const HWND bad = BoxByCaption(main, text::kBadCountCaption);
  if (good == nullptr || bad == nullptr) return;
  ExpectMenu(checks, main, "with options", {kOpen, kSettings, kExit, kLedger}, kMenuItems + 1);

  ChooseByMnemonic(main, L'p');
  const Bytes probe = receiver.Collect(3, kTimeoutMs);
  checks.Expect(probe.size() == 3, "the port opens COM12 and sends the probe there");
  ChooseByMnemonic(main, L's');
  checks.Expect(WaitLine(good, text::kStartCount), "the run starts");
  ExpectMenu(checks, main, "running with options", {kClose, kSettings, kStop, kExit, kLedger},
             kMenuItems + 1);
  std::ofstream batches((paths.out + L"\\outputs-batches.txt").c_str(), std::ios::binary);
  for (const Batch& batch : OutputBatches()) {
    Deliver(checks, receiver, batch.bytes, good, bad);
    // A counter that has not moved since the start shows the start's text.
    const auto shows = [](int n) { return n == 0 ? std::string(text::kStartCount) : Count(n); };
    checks.Expect(WaitLine(good, shows(batch.good)) && WaitLine(bad, shows(batch.bad)),
                  "a batch counts " + Str(batch.good) + " good frames and " + Str(batch.bad) +
                      " error events",
                  OnlyLine(good) + "|" + OnlyLine(bad));
    batches << Dump(batch.bytes) << " " << batch.good << " " << batch.bad << "\n";
  }
  batches.close();

  CheckLedgerWindow(checks, paths, monitor, main);
  checks.Expect(AskScript(paths, L"scrape"), "the script reads /metrics during the run");

  ChooseByMnemonic(main, L't');
  const auto csv_files = [&] {
    int count = 0;
    for (const wchar_t* kind : {L"readings", L"errors", L"sensors"}) {
      WIN32_FIND_DATAW found;
      const HANDLE search = FindFirstFileW((dir + L"\\RUVEZ_*_" + kind + L".csv").c_str(), &found);
      if (search != INVALID_HANDLE_VALUE) {
        ++count;
        FindClose(search);
      }
    }
    return count;
  };
  checks.Expect(
      WaitFor([&] { return ExportFiles(dir).size() == 1 && csv_files() == 3; }, kTimeoutMs),
      "stop writes the export and its three CSV files");
  const HWND window = monitor.WaitWindow(L"wsmon ledger", L"统计(ledger)", kTimeoutMs);
  const HWND status = window != nullptr ? ChildOfClass(window, L"msctls_statusbar32") : nullptr;
  RemoteControls remote(monitor.process());
  std::string line;
  ExpectSoon(
      checks,
      [&] {
        line = status != nullptr ? remote.StatusText(status, 0) : "no status line";
        return line.rfind("run ended after ", 0) == 0;
      },
      kTimeoutMs, "the ledger window's status line tells the run's end", [&] { return line; });
  ChooseByMnemonic(main, L'x');
  checks.Expect(monitor.WaitExit(kTimeoutMs) == 0, "exit ends the program with code 0");
}

// --- Service mode: runs rotated every 2 s, the last exported when the window closes ----------

// Each sensor's sequence bytes through the exports in the order of their runs
// (RUVEZ_<minute>.txt, then _2, _3 ... in that minute), and how many exports there are.
std::map<int, std::vector<int>> ExportedSequences(const std::wstring& dir, int* exports) {
  std::vector<std::wstring> names = ExportFiles(dir);
  const auto order = [](const std::wstring& name) {
    return std::make_pair(name.substr(0, 22), name.size() > 26 ? _wtoi(name.c_str() + 23) : 1);
  };
  std::sort(names.begin(), names.end(),
            [&](const std::wstring& a, const std::wstring& b) { return order(a) < order(b); });
  *exports = static_cast<int>(names.size());
  std::map<int, std::vector<int>> sequences;
  const std::regex reading(R"((\d{3,})-\d\d:\d\d:\d\d-([0-9A-F]{2})-.*)");
  for (const std::wstring& name : names) {
    int panel = -1;
    for (const std::string& line : ExportLines(ReadFileBytes(dir + L"\\" + name))) {
      std::smatch m;
      if (line.rfind("sensor", 0) == 0) panel = std::atoi(line.c_str() + 6);
      if (panel >= 0 && std::regex_match(line, m, reading))
        sequences[panel].push_back(std::stoi(m[2], nullptr, 16));
    }
  }
  return sequences;
}

void ServiceRun(Checks& checks, const std::wstring& program, const std::wstring& work,
                const std::wstring& receiver_port) {
  checks.Phase("service mode: runs rotated every 2 s, the last exported at the close");
  Paths paths;
  paths.work = work;
  // COM1 at 9600 baud, saving off (the service exports anyway), 4 sensors.
  const std::wstring dir = StartDir(paths, L"runs", std::string("\1\0\0\4", 4));
  Monitor monitor;
  if (!checks.Expect(
          AskScript(paths, L"simulate") &&
              monitor.Start(program, dir, L"",
                            {L"--run", L"--rotate", L"2s", L"--com", L"1=" + receiver_port,
                             L"--json", L"run.jsonl", L"--record", L"bench.rec"}),
          "wsmon.exe --run starts, the simulated receiver waiting for its probe"))
    return;
  const HWND main = WaitMain(monitor);
  const HWND good = main != nullptr ? BoxByCaption(main, text::kGoodCountCaption) : nullptr;
  if (!checks.Expect(good != nullptr, "its main window appears")) return;
  // The receiver's summary ("sensor N COUNT") once it has ended; the line stays up.
  std::map<int, int> sent;
  ExpectSoon(
      checks,
      [&] {
        const Bytes summary = ReadFileBytes(work + L"\\sim.txt");
        std::istringstream text(std::string(summary.begin(), summary.end()));
        for (std::string line; std::getline(text, line);) {
          int sensor = 0, count = 0;
          if (std::sscanf(line.c_str(), "sensor %d %d", &sensor, &count) == 2) sent[sensor] = count;
        }
        return sent.size() == 4;
      },
      60000, "the receiver sends its readings and ends", [] { return std::string(); });
  // Read to the end once the exports and the run in progress hold every reading sent since the
  // first one shown (those before may fall to the probe's purge at the open).
  int exports = 0;
  int missing = 0;
  const auto count_missing = [&] {
    const std::map<int, std::vector<int>> sequences = ExportedSequences(dir, &exports);
    missing = -std::atoi(OnlyLine(good).c_str());
    for (const auto& [sensor, seq] : sequences)
      missing += sent[sensor] - seq.front() - static_cast<int>(seq.size());
    return sequences;
  };
  ExpectSoon(
      checks, [&] { return !count_missing().empty() && exports >= 2 && missing == 0; }, 30000,
      "two runs at least are exported while the readings are read",
      [&] { return Str(missing) + " missing"; });

  PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);
  checks.Expect(monitor.WaitExit(kStartTimeoutMs) == 0, "closing the window ends the program");
  const std::map<int, std::vector<int>> sequences = count_missing();
  bool consecutive = sequences.size() == 4;
  for (const auto& entry : sequences) {
    const std::vector<int>& seq = entry.second;
    for (std::size_t i = 1; i < seq.size(); ++i) consecutive &= seq[i] == (seq[i - 1] + 1) % 256;
  }
  checks.Expect(exports >= 3 && consecutive && missing == 0,
                "every reading sent is in one export, once, the last run's exported by the close",
                Str(exports) + " exports, " + Str(missing) + " missing");
  const int json = static_cast<int>(FilesLike(dir, L"run_*.jsonl").size());
  const int recordings = static_cast<int>(FilesLike(dir, L"bench_*.rec").size());
  checks.Expect(json == exports && recordings == exports,
                "a JSON Lines file and a recording per run, named after it",
                Str(json) + " and " + Str(recordings));
}

// --- A screen of 800 x 600 is refused ----------------------------------------------------------

void SmallScreen(Checks& checks, const Paths& paths) {
  const std::wstring dir = StartDir(paths, L"small");
  Monitor monitor;
  if (!checks.Expect(monitor.Start(paths.program, dir, paths.small_desktop),
                     "the monitor starts on an 800 x 600 desktop"))
    return;
  // The monitor's windows live on that desktop; the driver looks there.
  const HDESK own = GetThreadDesktop(GetCurrentThreadId());
  HDESK small = nullptr;
  WaitFor(
      [&] {
        small = OpenDesktopW(paths.small_desktop.c_str(), 0, FALSE, GENERIC_ALL);
        return small != nullptr;
      },
      kTimeoutMs);
  if (!checks.Expect(small != nullptr && SetThreadDesktop(small), "the driver reaches it")) {
    return;
  }
  ExpectMessage(checks, monitor, text::kCaptionErrorBang, text::kScreenTooSmall,
                "an 800 x 600 screen");
  checks.Expect(monitor.WaitExit(kTimeoutMs) == 0, "the refused start ends with code 0");
  checks.Expect(!FileExists(dir + L"\\wscfg.cfg"), "a refused start writes no wscfg.cfg");
  SetThreadDesktop(own);
  CloseDesktop(small);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 5 && std::wstring(argv[1]) == L"--service") {
    Checks checks;
    ServiceRun(checks, argv[2], argv[3], argv[4]);
    std::printf("%d passed, %d failed\n", checks.passed(), checks.failed());
    return checks.failed() == 0 ? 0 : 1;
  }
  if (argc != 6 && argc != 11) {
    std::fprintf(stderr,
                 "usage: wsmon_driver PROGRAM WORK_DIR OUT_DIR RECEIVER_PORT SMALL_DESKTOP\n"
                 "                    [OUTPUTS_PORT HTTP_PORT MQTT_PORT TOKEN_FILE "
                 "OPEN_TOKEN_FILE]\n");
    return 2;
  }
  const bool outputs = argc == 11;
  const auto more = [&](int i) { return std::wstring(outputs ? argv[i] : L""); };
  const Paths paths = {argv[1], argv[2], argv[3], argv[4], argv[5],
                       more(6), more(7), more(8), more(9), more(10)};
  Checks checks;
  Receiver receiver;
  checks.Phase("the receiver's port");
  if (checks.Expect(receiver.Open(paths.receiver_port), "the receiver's port opens")) {
    {
      // Each phase of the first start takes the monitor on from where the one before left it; a
      // monitor still running at the end is ended with it.
      FirstRun run;
      const std::pair<const char*, std::function<bool()>> first_start[] = {
          {"first start without wscfg.cfg",
           [&] { return StartWithoutSettings(checks, paths, run); }},
          {"open, and the settings for 5 sensors",
           [&] { return OpenAndSetFiveSensors(checks, paths, receiver, run); }},
          {"a run with frames", [&] { return RunWithFrames(checks, paths, receiver, run); }},
          {"stop and export", [&] { return StopAndExport(checks, paths, run); }},
          {"settings while stopped", [&] { return SettingsWhileStopped(checks, run); }},
          {"exit", [&] { return ExitKeepsTheSettings(checks, run); }}};
      for (const auto& [name, phase] : first_start) {
        checks.Phase(name);
        if (!phase()) {
          checks.Note("the rest of the first start cannot go on without this phase");
          break;
        }
      }
    }
    checks.Phase("unplug and replug during a run");
    Replug(checks, paths, receiver);
    checks.Phase("a run killed in its middle, recovered at the next start");
    RecoverKilledRun(checks, paths, receiver);
  }
  checks.Phase("second start: settings from the file, a failed open, resizing");
  SecondStart(checks, paths);
  if (!paths.outputs_receiver_port.empty()) {
    checks.Phase("the command line");
    CommandLines(checks, paths);
    checks.Phase("a run with the outputs and the ledger window");
    OutputsRun(checks, paths);
  }
  // Last: once a program has run on another desktop, Wine starts no more on the driver's.
  checks.Phase("a screen of 800 x 600");
  SmallScreen(checks, paths);
  std::printf("%d passed, %d failed\n", checks.passed(), checks.failed());
  return checks.failed() == 0 ? 0 : 1;
}
