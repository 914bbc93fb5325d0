// wsmon on a terminal as its users see it: in a tmux session of its own (a private server on a
// socket in the test's directory), keys sent and the screen read back, a pseudo-terminal as the
// serial line and real files in the start directory.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "support.h"

namespace {

constexpr int kWaitMs = 30000;  // generous: a sanitizer build on a busy machine
const char kTitle[] = "ZEP Wireless Sensor test  2006.04.04 -- v1.50";
const Bytes kConfig4 = {1, 0, 1, 4};  // COM1, 9600 baud, saving on, 4 sensors

std::string Output(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) out.append(buffer, n);
    pclose(p);
  }
  return out;
}

bool Exists(const std::string& path) {
  struct stat s;
  return stat(path.c_str(), &s) == 0;
}

// A reading of sensor id: temperature in tenths of a degree (whole sixteenths only), humidity in
// tenths of a percent (-1: none).
Bytes Reading(int id, int extra, int temperature_tenths, int humidity_tenths) {
  const auto temp = static_cast<std::uint16_t>(temperature_tenths * 16 / 10);
  const auto hum = static_cast<std::uint16_t>(humidity_tenths < 0 ? 0xFFFF : humidity_tenths);
  return MakeFrame(static_cast<std::uint8_t>(id), static_cast<std::uint8_t>(extra), temp, hum);
}

class Screen {
 public:
  // Starts wsmon with args in dir on a terminal of columns x rows. Its shell keeps the terminal
  // modes from before and after it (stty.before, stty.after) and its exit status (status).
  // environment (NAME=VALUE words) is set for the terminal and for wsmon.
  Screen(const ScratchDirectory& dir, const std::vector<std::string>& args, int columns = 100,
         int rows = 30, const std::string& environment = "")
      : dir_(dir), socket_(dir.File("tmux")) {
    std::string command = "cd " + dir.path() + " && stty -g >stty.before; LANG=C.UTF-8 " +
                          environment + " sh -c \"echo \\$\\$ >pid; exec " + WSMON_PATH;
    for (const std::string& arg : args) command += " " + arg;
    // stty.after appears whole (its name is how the test sees the end): written, then renamed.
    command += "\"; echo $? >status; stty -g >stty.new; mv stty.new stty.after; exec sleep 600";
    Tmux("new-session -d -x " + std::to_string(columns) + " -y " + std::to_string(rows) + " '" +
             command + "'",
         environment);
  }
  ~Screen() {
    // A monitor still running ends now, before its directory goes.
    if (!Exists(dir_.File("stty.after")) && Pid() > 0) {
      kill(Pid(), SIGINT);
      Status();
    }
    Tmux("kill-server");
  }

  std::string Tmux(const std::string& words, const std::string& environment = "") const {
    return Output("env -u TMUX " + environment + " tmux -S " + socket_ + " -f /dev/null " + words +
                  " 2>/dev/null");
  }
  std::string Text(bool attributes = false) const {
    return Tmux(std::string("capture-pane -p") + (attributes ? " -e" : ""));
  }
  // The screen with the lines that the terminal wrapped joined again.
  std::string Joined() const { return Tmux("capture-pane -p -J"); }
  Lines Rows(bool attributes = false) const {
    Lines rows;
    std::istringstream text(Text(attributes));
    for (std::string row; std::getline(text, row);) rows.push_back(row);
    return rows;
  }
  bool WaitUntil(const std::function<bool(const std::string&)>& ok, int timeout_ms = kWaitMs) {
    return ::WaitUntil([&] { return ok(Text()); }, timeout_ms, 100);
  }
  bool WaitFor(const std::string& text) {
    return WaitUntil(
        [&text](const std::string& screen) { return screen.find(text) != screen.npos; });
  }
  // One key after another (tmux key names), with a pause after each, so that an Esc stands alone.
  void Keys(std::initializer_list<const char*> keys) {
    for (const char* key : keys) {
      Tmux(std::string("send-keys ") + key);
      std::this_thread::sleep_for(std::chrono::milliseconds(150));
    }
  }
  void Click(int row, int column) {
    char bytes[80];  // the press and the release of the left button
    std::snprintf(bytes, sizeof bytes, "send-keys -H 1b 5b 4d 20 %x %x 1b 5b 4d 23 %x %x",
                  33 + column, 33 + row, 33 + column, 33 + row);
    Tmux(bytes);
  }
  void Resize(int columns, int rows) {
    Tmux("resize-window -x " + std::to_string(columns) + " -y " + std::to_string(rows));
  }
  bool Dim(const std::string& text) const { return Attribute(text, 2); }
  bool Reversed(const std::string& text) const { return Attribute(text, 7); }
  pid_t Pid() const { return static_cast<pid_t>(std::stol("0" + ReadWholeFile(dir_.File("pid")))); }
  // Waits for wsmon to end: its exit status as its shell saw it (-1 when it did not end).
  int Status() {
    if (!::WaitUntil([this] { return Exists(dir_.File("stty.after")); }, kWaitMs, 100)) return -1;
    return std::stoi(ReadWholeFile(dir_.File("status")));
  }

 private:
  // Whether text stands in this attribute (SGR parameter) on the screen.
  bool Attribute(const std::string& text, int attribute) const {
    for (const std::string& row : Rows(true)) {
      const std::size_t at = row.find(text);
      if (at == std::string::npos) continue;
      bool on = false;
      const std::regex sgr("\x1b\\[([0-9;]*)m");
      const std::string before = row.substr(0, at);
      for (std::sregex_iterator m(before.begin(), before.end(), sgr), end; m != end; ++m) {
        std::stringstream parameters((*m)[1].str());
        for (std::string p; std::getline(parameters, p, ';');) {
          if (p.empty() || p == "0" || p == std::to_string(20 + attribute)) on = false;
          if (p == std::to_string(attribute)) on = true;
        }
      }
      return on;
    }
    ADD_FAILURE() << text << " is not on the screen";
    return false;
  }
  const ScratchDirectory& dir_;
  std::string socket_;
};

const std::regex kCaption("传感器\\d+:|错误纪录|正确次数|错误次数|错误比率");

std::vector<std::string> Captions(const std::string& row) {
  std::vector<std::string> found;
  for (std::sregex_iterator m(row.begin(), row.end(), kCaption), end; m != end; ++m) {
    found.push_back(m->str());
  }
  return found;
}

// Braille cells (U+2800 to U+28FF, E2 A0..A3 xx in UTF-8) in text.
long BrailleCells(const std::string& text) {
  long n = 0;
  for (std::size_t i = 1; i < text.size(); ++i) {
    n += text[i - 1] == '\xE2' && (text[i] & 0xFC) == 0xA0;
  }
  return n;
}

long Count(const std::string& text, const std::string& what) {
  long n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// The caption of the box that shows text: the caption over its column in the nearest row of
// captions above it.
std::string BoxOf(const Lines& rows, const std::string& text) {
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const std::size_t at = rows[i].find(text);
    if (at == std::string::npos) continue;
    const long column = Count(rows[i].substr(0, at), "│");
    for (std::size_t j = i; j-- > 0;) {
      const std::vector<std::string> captions = Captions(rows[j]);
      if (captions.empty()) continue;
      return column >= 1 && column <= static_cast<long>(captions.size())
                 ? captions[static_cast<std::size_t>(column - 1)]
                 : "";
    }
  }
  return "<" + text + " not shown>";
}

// The first line of the box with this caption, without the blanks around it.
std::string FirstLine(const Lines& rows, const std::string& caption) {
  for (std::size_t i = 0; i + 1 < rows.size(); ++i) {
    const std::vector<std::string> captions = Captions(rows[i]);
    for (std::size_t k = 0; k < captions.size(); ++k) {
      if (captions[k] != caption) continue;
      std::stringstream row(std::regex_replace(rows[i + 1], std::regex("│"), "\t"));
      std::string cell;
      for (std::size_t c = 0; c <= k + 1 && std::getline(row, cell, '\t');) ++c;
      return std::regex_replace(cell, std::regex("^ +| +$"), "");
    }
  }
  return "<" + caption + " not shown>";
}

// The lines of the box with this caption joined again: the rows below its caption, each without
// the blanks at its end, up to the next border.
std::string PanelText(const Lines& rows, const std::string& caption) {
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const std::vector<std::string> captions = Captions(rows[i]);
    const auto k = std::find(captions.begin(), captions.end(), caption) - captions.begin();
    if (k == static_cast<long>(captions.size())) continue;
    std::string text;
    for (std::size_t j = i + 1; j < rows.size(); ++j) {
      std::stringstream row(std::regex_replace(rows[j], std::regex("│"), "\t"));
      std::string cell;
      for (long c = 0; c <= k + 1 && std::getline(row, cell, '\t');) ++c;
      if (cell.find("─") != std::string::npos || !Captions(cell).empty()) break;
      text += std::regex_replace(cell, std::regex(" +$"), "");
    }
    return text;
  }
  return "<" + caption + " not shown>";
}

// A monitor with these settings on a terminal of columns x rows, COM1 a pseudo-terminal (or the
// device port names).
struct Monitor {
  Monitor(const Bytes& settings, int columns = 100, int rows = 30,
          const std::string& environment = "", const std::string& port = "") {
    std::ofstream(dir.File("wscfg.cfg")) << std::string(settings.begin(), settings.end());
    screen = std::make_unique<Screen>(
        dir, std::vector<std::string>{"--com", "1=" + (port.empty() ? line.path() : port)}, columns,
        rows, environment);
  }
  // Opens the port and starts a run.
  bool Start() {
    // Each step once the one before shows: the open probes the receiver first.
    const char* step = "the window did not show";
    if (screen->WaitFor(kTitle)) {
      step = "the port did not open";
      screen->Keys({"p"});
      if (screen->WaitFor(", stopped")) {
        step = "no run started";
        screen->Keys({"s"});
        if (screen->WaitFor("frames/s")) return true;
      }
    }
    ADD_FAILURE() << step << "; the screen:\n" << screen->Text();
    return false;
  }
  ScratchDirectory dir;
  PseudoTerminal line;
  std::unique_ptr<Screen> screen;
};

TEST(TerminalTest, TheMenuFollowsTheRunAndEachReadingShowsInItsPanelUntilTheStop) {
  Monitor monitor(kConfig4);
  Screen& screen = *monitor.screen;
  const ScratchDirectory& dir = monitor.dir;
  ASSERT_TRUE(screen.WaitFor(kTitle));
  const Lines rows = screen.Rows();
  EXPECT_EQ(rows[0], std::string(" ") + kTitle);
  EXPECT_EQ(rows[1],
            " 打开串口(open) 关闭串口(close) 设置(setting) 启动(start) 停止(stop) 退出(exit)");

  // Greyed items are dim in each state; settings and exit never are.
  auto greyed = [&screen] {
    std::string marks;
    for (const char* item : {"打开串口", "关闭串口", "设置", "启动", "停止", "退出"}) {
      marks += screen.Dim(item) ? '-' : '+';
    }
    return marks;
  };
  EXPECT_EQ(greyed(), "+-+--+");
  screen.Keys({"p"});
  ASSERT_TRUE(screen.WaitFor("no data yet, stopped"));  // the probe had no answer
  EXPECT_EQ(greyed(), "-+++-+") << screen.Rows(true)[1];
  screen.Keys({"M-s"});  // Alt and the letter
  ASSERT_TRUE(screen.WaitFor("frames/s"));
  EXPECT_EQ(greyed(), "-++-++");

  for (int id = 0; id < 4; ++id) {
    monitor.line.Send(Reading(id, 0, 100 + 10 * id, 400 + 10 * id));
    const std::string shown = "+1" + std::to_string(id) + ".0℃/4" + std::to_string(id) + ".0%RH";
    ASSERT_TRUE(screen.WaitFor(shown));
    EXPECT_EQ(BoxOf(screen.Rows(), shown), "传感器" + std::to_string(id) + ":");
  }
  Bytes bad = Reading(2, 1, 0, 0);
  bad[7] ^= 0x55;
  monitor.line.Send(bad);
  ASSERT_TRUE(screen.WaitFor("ERR2"));
  const Lines run = screen.Rows();
  EXPECT_EQ(BoxOf(run, "ERR2,n=0,D:CC-02-01-00-00-00-00-"), "错误纪录");
  EXPECT_EQ(FirstLine(run, "正确次数"), "4");
  EXPECT_EQ(FirstLine(run, "错误次数"), "1");
  EXPECT_EQ(FirstLine(run, "错误比率"), "20.00%");

  screen.Keys({"t"});
  ASSERT_TRUE(screen.WaitFor("plain receiver, stopped"));
  EXPECT_EQ(greyed(), "-+++-+");
  screen.Keys({"x"});
  EXPECT_EQ(screen.Status(), 0);
  EXPECT_EQ(ReadWholeFile(dir.File("wscfg.cfg")), std::string("\x01\x00\x01\x04", 4));
}

// At 80 columns, with a device path as long as the stable names of USB adapters are, the status
// line keeps the outage and the keys, and the outage's reason stands whole above it.
TEST(TerminalTest, TheStatusLineCountsAnOutageAndTellsItsLengthOnceTheDeviceIsBack) {
  ScratchDirectory links;
  const std::string link = links.File("usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0");
  auto line = std::make_unique<PseudoTerminal>();
  ASSERT_EQ(symlink(line->path().c_str(), link.c_str()), 0);
  Monitor monitor({1, 0, 0, 4}, 80, 24, "", link);  // saving off, so that the exit asks nothing
  ASSERT_TRUE(monitor.Start());
  Screen& screen = *monitor.screen;
  line->Send(Reading(1, 0, 100, 400));
  ASSERT_TRUE(screen.WaitFor("000-"));

  line.reset();  // unplugged: its name goes too, before another test gets the device's number
  ASSERT_EQ(unlink(link.c_str()), 0);
  ASSERT_TRUE(screen.WaitFor("device lost 0:00:01, waiting"));
  Lines rows = screen.Rows();
  EXPECT_THAT(rows.back(), HasSubstr("? help")) << rows.back();
  // The notice's rows, joined where they were wrapped between words.
  std::string notice;
  for (std::size_t r = rows.size() - 1 - 4; r + 1 < rows.size(); ++r) {
    if (rows[r].rfind(" COM1 (", 0) == 0 || !notice.empty()) {
      notice += (notice.empty() ? "" : " ") + std::regex_replace(rows[r], std::regex("^ | +$"), "");
    }
  }
  EXPECT_THAT(notice, StartsWith("COM1 (" + link + ") stopped answering: ")) << screen.Text();
  EXPECT_THAT(notice,
              ::testing::EndsWith("the run goes on, and the port is opened again at every poll"));
  line = std::make_unique<PseudoTerminal>();
  ASSERT_EQ(symlink(line->path().c_str(), link.c_str()), 0);
  const std::regex back("reconnected after \\d+\\.\\d s");
  ASSERT_TRUE(
      screen.WaitUntil([&back](const std::string& s) { return std::regex_search(s, back); }));
  line->Send(Reading(1, 1, 100, 400));
  ASSERT_TRUE(screen.WaitFor("001-"));
  EXPECT_EQ(BoxOf(screen.Rows(), "001-"), "传感器1:");
  EXPECT_THAT(screen.Text(), Not(HasSubstr("stopped answering")));
  EXPECT_EQ(Count(screen.Text(), "ERR3,COM PORT READ ERR!"), 1);
  screen.Keys({"x"});
  EXPECT_EQ(screen.Status(), 0);
}

// At 80 x 24 a panel narrower than its lines shows each of them whole over two rows.
TEST(TerminalTest, PanelLinesStandWholeAt80Columns) {
  const struct {
    std::uint8_t sensors;
    const char* line;  // a reading line of the panel's shape
  } cases[] = {
      {4,
       "\\d{3}-\\d\\d:\\d\\d:\\d\\d-0[01]-\\+12\\.0℃/45\\.0%RH-<C0-00-C2-01-[0-9A-F]{2}>-[ "
       "\\d]\\d\\.\\d"},
      {6, "\\d{3}-\\d\\d:\\d\\d:\\d\\d-0[01]-\\+12\\.0℃/45\\.0%RH-[ \\d]\\d\\.\\d"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sensors);
    Monitor monitor({1, 0, 0, c.sensors}, 80, 24);
    ASSERT_TRUE(monitor.Start());
    Screen& screen = *monitor.screen;
    const std::string last = "传感器" + std::to_string(c.sensors - 1) + ":";
    monitor.line.Send(Concat(
        {Reading(0, 0, 120, 450), Reading(0, 1, 120, 450), Reading(c.sensors - 1, 0, 120, 450)}));
    ASSERT_TRUE(screen.WaitFor("001-"));
    const std::string two = std::string("(") + c.line + ")(" + c.line + ")";
    EXPECT_TRUE(std::regex_search(PanelText(screen.Rows(), "传感器0:"), std::regex(two)))
        << screen.Text();
    EXPECT_TRUE(std::regex_search(PanelText(screen.Rows(), last), std::regex(c.line)))
        << screen.Text();
    screen.Keys({"x"});
    EXPECT_EQ(screen.Status(), 0);
  }
}

TEST(TerminalTest, TheSettingsDialogDrivenByKeysChangesTheGridFrom4To12Panels) {
  ScratchDirectory dir;
  Screen screen(dir, {});
  ASSERT_TRUE(screen.WaitFor("通讯口配置读取错误，调用缺省配置!"));  // no settings file yet
  // The status line beside the box already names the default port that the box announces.
  EXPECT_THAT(screen.Rows().back(), StartsWith(" COM1 /dev/ttyS0 9600 baud, port closed"));
  screen.Keys({"Enter"});
  ASSERT_TRUE(screen.WaitFor("传感器3:"));
  // A click on the setting item (row 1, column 32), then on the close box of the dialog
  // centred on 100 x 30 (row 7, column 71): both as the terminal reports the left button.
  screen.Click(1, 32);
  ASSERT_TRUE(screen.WaitFor("参数设定"));
  screen.Click(7, 71);
  ASSERT_TRUE(screen.WaitUntil([](const std::string& s) { return s.find("参数设定") == s.npos; }));
  // Two items share e: the first press marks close, the second setting, Enter runs it.
  screen.Keys({"e", "e"});
  EXPECT_TRUE(
      screen.WaitUntil([&screen](const std::string&) { return screen.Reversed("设置(s"); }));
  screen.Keys({"Enter"});
  ASSERT_TRUE(screen.WaitFor("参数设定"));
  for (const char* control : {"串口选择:", "(*) COM1", "( ) COM4", "波特率:", "(*) 9600",
                              "[ ] 保存数据文件", "传感器数量: 4", "(1--32)", "确  认", "退  出"}) {
    EXPECT_THAT(screen.Text(), HasSubstr(control)) << control;
  }
  // Esc leaves the dialog open. Then COM2, 19200, saving on, 12 sensors, confirmed.
  screen.Keys({"Escape", "Down", "Tab", "Down", "Tab", "Space", "Tab", "1", "2"});
  ASSERT_TRUE(screen.WaitFor("传感器数量: 12"));
  screen.Keys({"Enter"});
  ASSERT_TRUE(screen.WaitFor("传感器14:"));
  const std::string grid = screen.Text();
  EXPECT_EQ(Captions(grid).size(), 15u + 4u);  // 15 panels, the log and three counters
  EXPECT_THAT(grid, Not(HasSubstr("参数设定")));
  screen.Keys({"x"});
  EXPECT_EQ(screen.Status(), 0);
  EXPECT_EQ(ReadWholeFile(dir.File("wscfg.cfg")), std::string("\x02\x01\x01\x0c", 4));
}

// At 80 x 24 the dialog's left border cuts the log's caption, a double-width character in
// half: once the dialog closes, the screen is what it was before it opened.
TEST(TerminalTest, TheSettingsDialogLeavesNoMarkWhereItStood) {
  ScratchDirectory dir;
  std::ofstream(dir.File("wscfg.cfg")) << std::string("\x00\x00\x00\x04", 4);
  Screen screen(dir, {"--com", "1=/dev/null"}, 80, 24);
  ASSERT_TRUE(screen.WaitFor("错误纪录"));
  const std::string before = screen.Text();
  screen.Keys({"e", "e", "Enter"});
  ASSERT_TRUE(screen.WaitFor("参数设定"));
  // The exit button is the last control: Shift-Tab reaches it from the first.
  screen.Keys({"BTab", "Enter"});
  ASSERT_TRUE(screen.WaitUntil([](const std::string& s) { return s.find("参数设定") == s.npos; }));
  EXPECT_TRUE(screen.WaitUntil([&before](const std::string& s) { return s == before; }))
      << screen.Text();
  screen.Keys({"x"});
  EXPECT_EQ(screen.Status(), 0);
}

// ?, F1 and h show the keys of the view they are pressed in; any key closes the help, and the
// view is as it was, also where the help's border cut a double-width character.
TEST(TerminalTest, TheHelpListsTheKeysOfItsViewAndAnyKeyClosesIt) {
  ScratchDirectory dir;
  std::ofstream(dir.File("wscfg.cfg")) << std::string("\x00\x00\x00\x06", 4);
  Screen screen(dir, {"--com", "1=/dev/null"}, 80, 24);
  ASSERT_TRUE(screen.WaitFor("错误纪录"));
  const struct {
    const char* view;  // the key that opens the view, or nullptr for the window
    const char* key;
    const char* shown;
    const char* closer;
  } cases[] = {
      {nullptr, "?", "the ledger: each sensor's reception figures", "q"},
      {nullptr, "F1", "Ctrl-C", "Enter"},
      {"l", "h", "sorts by sensor, or by delivery", "Escape"},
      {"g", "?", "the previous or the next sensor", "Left"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    if (c.view != nullptr) screen.Keys({c.view});
    ASSERT_TRUE(screen.WaitUntil([](const std::string& s) { return s.find("Help:") == s.npos; }));
    const std::string before = screen.Text();
    screen.Keys({c.key});
    ASSERT_TRUE(screen.WaitFor("Help: any key closes it"));
    EXPECT_THAT(screen.Text(), HasSubstr(c.shown));
    screen.Keys({c.closer});
    EXPECT_TRUE(screen.WaitUntil([&before](const std::string& s) { return s == before; }))
        << screen.Text();
    if (c.view != nullptr) screen.Keys({"Escape"});
  }
  screen.Keys({"x"});
  EXPECT_EQ(screen.Status(), 0);
}

TEST(TerminalTest, ResizingRedrawsAtOnceWithTheNewestLinesInViewAndNothingLostMeanwhile) {
  Monitor monitor(kConfig4, 80, 24);
  // The line opened before the monitor opens it: what waits on the monitor's side of it shows
  // whether the monitor still polls.
  const int line = open(monitor.line.path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(line, 0);
  const auto unread = [line](const std::string&) {
    int waiting = -1;
    return ioctl(line, FIONREAD, &waiting) == 0 && waiting == 0;
  };
  ASSERT_TRUE(monitor.Start());
  Screen& screen = *monitor.screen;
  auto shown = [](int n) {
    char prefix[8];
    std::snprintf(prefix, sizeof prefix, "%03d-", n);
    return std::string(prefix);
  };
  for (int n = 0; n < 12; ++n) {
    monitor.line.Send(Reading(0, n, 200 + n, 500));
    ASSERT_TRUE(screen.WaitFor(shown(n)));
  }
  EXPECT_THAT(screen.Text(), Not(HasSubstr(shown(0))));  // scrolled out of the panel

  screen.Resize(60, 20);
  ASSERT_TRUE(screen.WaitFor("Please make the terminal at least 80 x 24 (it is 60 x 20)"));
  screen.Resize(40, 20);  // a shorter text where the long one would be cut
  ASSERT_TRUE(screen.WaitFor("\n     At least 80 x 24 (now 40 x 20)\n"));
  monitor.line.Send(
      Concat({Reading(0, 12, 212, 500), Reading(0, 13, 213, 500), Reading(0, 14, 214, 500)}));
  EXPECT_TRUE(screen.WaitUntil(unread)) << "not polled while the terminal is too small";

  screen.Resize(200, 60);
  ASSERT_TRUE(screen.WaitFor(shown(14)));
  const std::string tall = screen.Text();
  for (int n = 0; n < 15; ++n) EXPECT_THAT(tall, HasSubstr(shown(n))) << n;
  EXPECT_THAT(tall, HasSubstr("sensor0, 开始于:"));
  screen.Resize(80, 24);  // drawn anew from the title down, the panel scrolled to its end
  EXPECT_TRUE(screen.WaitUntil([&shown](const std::string& s) {
    return s.rfind(std::string(" ") + kTitle, 0) == 0 && s.find(shown(14)) != s.npos &&
           s.find("sensor0,") == s.npos;
  })) << screen.Text();
  close(line);
}

TEST(TerminalTest, SignalsEndLikeTheOperatorWouldAndLeaveTheTerminalAsItWas) {
  const struct {
    int signal;
    bool exported;  // the run was stopped first
    bool saved;     // the settings were saved
    int status;
    bool journal_left;  // for the next start to recover
  } cases[] = {{SIGTERM, true, true, 0, false},
               {SIGINT, false, true, 0, false},
               {SIGSEGV, false, false, 128 + SIGSEGV, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(strsignal(c.signal));
    Monitor monitor({1, 0, 1, 5});
    ASSERT_TRUE(monitor.Start());
    Screen& screen = *monitor.screen;
    const ScratchDirectory& dir = monitor.dir;
    monitor.line.Send(Reading(4, 0, 150, 500));
    ASSERT_TRUE(screen.WaitFor("+15.0℃"));
    std::remove(dir.File("wscfg.cfg").c_str());
    ASSERT_EQ(kill(screen.Pid(), c.signal), 0);
    EXPECT_EQ(screen.Status(), c.status);
    EXPECT_EQ(ReadWholeFile(dir.File("stty.after")), ReadWholeFile(dir.File("stty.before")));
    // The monitor's screen is gone, the cursor shown, the mouse left alone.
    EXPECT_EQ(screen.Tmux("display -p '#{alternate_on} #{cursor_flag} #{mouse_any_flag}'"),
              "0 1 0\n");
    EXPECT_EQ(Exists(dir.File("wscfg.cfg")), c.saved);
    EXPECT_EQ(RunFiles(dir.path(), ".txt"), c.exported ? 1 : 0);
    EXPECT_EQ(RunFiles(dir.path(), ".journal"), c.journal_left ? 1 : 0);
  }
}

TEST(TerminalTest, TheChartShowsTheRangeOfTheValuesSentWithGapsAndCloses) {
  Monitor monitor(kConfig4);
  ASSERT_TRUE(monitor.Start());
  Screen& screen = *monitor.screen;
  // Humidity only in the first and the third.
  const int values[][2] = {{200, 400}, {255, -1}, {215, 600}, {220, -1}};
  for (int n = 0; n < 4; ++n) {
    monitor.line.Send(Reading(1, n, values[n][0], values[n][1]));
    ASSERT_TRUE(screen.WaitFor(std::to_string(values[n][0] / 10) + "." +
                               std::to_string(values[n][0] % 10) + "℃"));
  }
  screen.Keys({"g", "1"});
  ASSERT_TRUE(screen.WaitFor("传感器1:  4 readings in this run"));
  const std::string chart = screen.Text();
  EXPECT_THAT(chart, HasSubstr("min +20.0   max +25.5   last +22.0"));
  EXPECT_THAT(chart, HasSubstr("min 40.0   max 60.0   last ----"));
  EXPECT_THAT(chart, HasSubstr("+26.0"));  // the scale: whole degrees around them
  EXPECT_THAT(chart, HasSubstr("+20.0  "));
  // The temperatures make one line; the two humidities, a value missing between them, stay two
  // dots (at the top and the bottom of their plot, which is below its header).
  const std::size_t humidity = chart.find("humidity %RH");
  ASSERT_NE(humidity, std::string::npos);
  EXPECT_GT(BrailleCells(chart.substr(0, humidity)), 2) << chart;
  EXPECT_EQ(BrailleCells(chart.substr(humidity)), 2) << chart;
  screen.Keys({"Right"});
  ASSERT_TRUE(screen.WaitFor("传感器2:  0 readings in this run"));
  screen.Keys({"Escape"});
  ASSERT_TRUE(screen.WaitFor(kTitle));
}

// The ledger view: a row per sensor, the one that stopped sending highlighted as silent (and
// counted on the status line), sorted by sensor or by delivery, live while the others send.
TEST(TerminalTest, TheLedgerHighlightsTheSensorThatFellSilentAndSortsByDelivery) {
  Monitor monitor(kConfig4);
  ASSERT_TRUE(monitor.Start());
  Screen& screen = *monitor.screen;
  std::atomic<bool> sending{true};
  // A reading of each sensor a second; sensor 3 stops after its third.
  std::thread sender([&monitor, &sending] {
    for (int n = 0; sending; ++n) {
      for (int id = 0; id < 4; ++id) {
        if (id < 3 || n < 3) monitor.line.Send(Reading(id, n % 256, 200 + id, 500));
      }
      for (int i = 0; i < 10 && sending; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
    }
  });
  EXPECT_TRUE(screen.WaitFor(", 1 silent, ")) << screen.Text();
  screen.Keys({"l"});
  EXPECT_TRUE(screen.WaitFor("Ledger: 4 sensors watched, 1 silent")) << screen.Text();
  // The rows' first words, and the row of each sensor as shown.
  const auto table = [&screen](std::map<std::string, std::string>* rows) {
    std::string ids;
    const std::regex row("^ +(\\d+\\+?) .*");
    for (const std::string& line : screen.Rows()) {
      std::smatch m;
      if (!std::regex_match(line, m, row)) continue;
      ids += (ids.empty() ? "" : " ") + m[1].str();
      if (rows != nullptr) (*rows)[m[1].str()] = std::regex_replace(line, std::regex(" +$"), "");
    }
    return ids;
  };
  std::map<std::string, std::string> rows;
  EXPECT_EQ(table(&rows), "0 1 2 3 32+");
  // The start of a row, the id and the blanks before the count of readings, stays as it is
  // while the figures move on.
  EXPECT_TRUE(screen.Reversed(rows["3"].substr(0, 9))) << rows["3"];
  EXPECT_FALSE(screen.Reversed(rows["0"].substr(0, 9))) << rows["0"];
  EXPECT_THAT(screen.Text(), HasSubstr("readings"));
  screen.Keys({"s"});
  ASSERT_TRUE(screen.WaitFor("; by delivery"));
  EXPECT_EQ(table(nullptr).substr(0, 2), "3 ") << screen.Text();
  EXPECT_EQ(table(nullptr).substr(table(nullptr).size() - 4), " 32+");
  screen.Keys({"Escape"});
  EXPECT_TRUE(screen.WaitFor(kTitle));
  sending = false;
  sender.join();
  screen.Keys({"C-c"});
  EXPECT_EQ(screen.Status(), 0);
}

// A finished run looked at again: wsmon --replay FILE opens at the run's end on its ledger, whose
// figures are those of every reading the recording holds; Esc shows its panels.
TEST(TerminalTest, ARecordingOpensAtTheEndOfItsRunOnTheLedger) {
  ScratchDirectory dir;
  const std::string file = dir.File("run.rec");
  Program writer(WSMON_SIM_PATH, {"--sensors", "3", "--interval", "500", "--missing", "0",
                                  "--seconds", "60", "--write-recording", file});
  ASSERT_EQ(writer.Finish(), 0);
  std::map<std::string, std::string> sent;  // readings by sensor id
  for (const std::string& line : writer.lines()) {
    std::smatch m;
    if (std::regex_match(line, m, std::regex("sensor (\\d+) (\\d+)"))) sent[m[1]] = m[2];
  }
  ASSERT_EQ(sent.size(), 3u);
  std::ofstream(dir.File("wscfg.cfg"), std::ios::binary).write("\x01\x00\x00\x03", 4);
  Screen screen(dir, {"--replay", file}, 120, 30);
  ASSERT_TRUE(screen.WaitFor("run ended; by sensor")) << screen.Text();
  for (const std::string& row : screen.Rows()) {
    std::smatch m;
    if (!std::regex_match(row, m, std::regex("^ +(\\d) +(\\d+) .*"))) continue;
    EXPECT_EQ(m[2], sent[m[1]]) << row;
    sent.erase(m[1]);
  }
  EXPECT_TRUE(sent.empty()) << "rows missing: " << sent.size();
  screen.Keys({"Escape"});
  EXPECT_TRUE(screen.WaitFor("replay of " + file + ", plain receiver, stopped")) << screen.Text();
  EXPECT_THAT(screen.Text(), HasSubstr("传感器2:"));
  screen.Keys({"C-c"});
  EXPECT_EQ(screen.Status(), 0);
}

// A run with saving on would end without its export by exit, close or the settings: the
// terminal monitor asks first. Yes stops and exports, No goes on as the command would, Esc
// cancels. Ctrl-C and the stop signals never ask.
TEST(TerminalTest, ACommandThatWouldDropTheRunsExportAsksFirst) {
  const std::string question = "stop and save the run first?";
  const struct {
    std::vector<const char*> keys;  // the command, then the answer (SIGTERM: that signal)
    int exports;
    const char* then;  // on the screen afterwards (nullptr: the program has ended)
  } cases[] = {
      {{"x", "y"}, 1, nullptr},
      {{"x", "n"}, 0, nullptr},
      {{"x", "Escape"}, 0, "frames/s"},
      {{"e", "Enter", "y"}, 1, "port closed"},    // close
      {{"e", "e", "Enter", "n"}, 0, "参数设定"},  // settings
      {{"e", "e", "Enter", "c"}, 0, "frames/s"},
      {{"x", "SIGTERM"}, 1, nullptr},  // a signal never waits for the answer
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.keys));
    Monitor monitor(kConfig4);
    ASSERT_TRUE(monitor.Start());
    Screen& screen = *monitor.screen;
    const auto exports = [&monitor] { return RunFiles(monitor.dir.path(), ".txt"); };
    monitor.line.Send(Reading(1, 0, 150, 500));
    ASSERT_TRUE(screen.WaitFor("+15.0℃"));
    for (std::size_t k = 0; k + 1 < c.keys.size(); ++k) screen.Keys({c.keys[k]});
    ASSERT_TRUE(screen.WaitFor(question));
    monitor.line.Send(Reading(0, 0, 170, 500));  // polled while the question waits
    ASSERT_TRUE(screen.WaitFor("+17.0℃"));
    if (std::string(c.keys.back()) == "SIGTERM") {
      ASSERT_EQ(kill(screen.Pid(), SIGTERM), 0);
    } else {
      screen.Keys({c.keys.back()});
    }
    if (c.then == nullptr) {
      EXPECT_EQ(screen.Status(), 0);
    } else {
      ASSERT_TRUE(screen.WaitUntil([&c, &question](const std::string& s) {
        return s.find(c.then) != s.npos && s.find(question) == s.npos;
      })) << screen.Text();
    }
    EXPECT_EQ(exports(), c.exports);
    if (c.then != nullptr && std::string(c.then) == "frames/s") {
      screen.Keys({"C-c"});  // still running: Ctrl-C ends it without a question or an export
      EXPECT_EQ(screen.Status(), 0);
      EXPECT_EQ(exports(), 0);
    }
  }
}

// Why a port did not open stands whole in the box that says it did not, wrapped between words,
// and again on standard error once the terminal is back. A busy port names its holder (here
// this test, which holds the line's lock).
TEST(TerminalTest, AFailedOpenSaysWhyInItsBoxAndOnStandardErrorAfterwards) {
  PseudoTerminal held;
  const int holder = open(held.path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
  const std::string reason = "cannot open COM1 (" + held.path() +
                             "): the device is busy: wsmon_posix_tes (pid " +
                             std::to_string(getpid()) + ") holds it";
  Monitor monitor({1, 0, 0, 4}, 100, 30, "", held.path());
  Screen& screen = *monitor.screen;
  ASSERT_TRUE(screen.WaitFor(kTitle));
  screen.Keys({"p"});
  ASSERT_TRUE(screen.WaitFor("端口不存在或出现错误，请重新设置!"));
  // The box's lines joined again (the panels behind it are empty): a word cut in two would
  // not read back.
  const std::string shown = std::regex_replace(
      std::regex_replace(screen.Text(), std::regex("[│─┌┐└┘├┤┬┴┼]|\\[ OK \\]|!"), " "),
      std::regex("\\s+"), " ");
  EXPECT_THAT(shown, HasSubstr(reason)) << screen.Text();
  screen.Keys({"Enter", "x"});
  EXPECT_EQ(screen.Status(), 0);
  EXPECT_THAT(screen.Joined(), HasSubstr("wsmon: " + reason + "\n"));
  close(holder);
}

// Without a terminal one line says to use --headless; a terminal type without cursor addressing,
// or one that is not known, is refused in one line too.
TEST(TerminalTest, WithoutATerminalItCanDrawOnOneLineSaysWhy) {
  ScratchDirectory dir;
  const int status = std::system(
      (std::string(WSMON_PATH) + " </dev/null >" + dir.File("out") + " 2>" + dir.File("err"))
          .c_str());
  EXPECT_EQ(WEXITSTATUS(status), 2);
  const std::string said = ReadWholeFile(dir.File("err"));
  EXPECT_EQ(Count(said, "\n"), 1);
  EXPECT_THAT(said, HasSubstr("--headless"));
  for (const char* term : {"dumb", "no-such-terminal"}) {
    SCOPED_TRACE(term);
    ScratchDirectory own;
    Screen screen(own, {}, 80, 24, std::string("TERM=") + term);
    EXPECT_EQ(screen.Status(), 1);
    EXPECT_THAT(screen.Joined(), HasSubstr(std::string("wsmon: the terminal type \"") + term +
                                           "\" is unknown or cannot place the cursor; set TERM"));
  }
}

// In a locale that gives the degree sign and the box-drawing characters two cells, as a terminal
// set up for CJK widths draws them, the boxes are drawn with ASCII lines, every row is as wide
// as the screen, the borders stand in the same columns in every row, and the counts read right.
TEST(TerminalTest, AWideDegreeSignLeavesBordersAndCountsInPlace) {
  ScratchDirectory locales;
  ASSERT_EQ(std::system(("python3 " WIDE_LOCALE_SCRIPT " " + locales.path()).c_str()), 0);
  Monitor monitor(kConfig4, 100, 30, "LOCPATH=" + locales.path() + " LC_ALL=en_US.UTF-8");
  ASSERT_TRUE(monitor.Start());
  Screen& screen = *monitor.screen;
  for (int id = 0; id < 4; ++id) monitor.line.Send(Reading(id, 0, 100 + 10 * id, 400));
  Bytes bad = Reading(2, 1, 0, 0);
  bad[7] ^= 0x55;
  monitor.line.Send(bad);
  ASSERT_TRUE(screen.WaitFor("ERR2"));
  const Lines rows = screen.Rows();
  // Cells: every character but ASCII takes two here (CJK, and the degree sign).
  const auto cells = [](const std::string& text) {
    long n = 0;
    for (unsigned char b : text) n += b < 0x80 ? 1 : (b & 0xC0) == 0xC0 ? 2 : 0;
    return n;
  };
  std::set<std::vector<long>> panel_borders;
  for (std::size_t r = 2; r + 1 < rows.size(); ++r) {
    EXPECT_LE(cells(rows[r]), 100) << rows[r];
    if (r < 14 && rows[r].rfind("|", 0) == 0) {
      std::vector<long> borders;
      for (std::size_t at = rows[r].find('|'); at != std::string::npos;
           at = rows[r].find('|', at + 1))
        borders.push_back(cells(rows[r].substr(0, at)));
      panel_borders.insert(borders);
    }
  }
  EXPECT_EQ(panel_borders.size(), 1u) << screen.Text();
  EXPECT_THAT(rows[2], StartsWith("+传感器0:---"));
  // The helpers read boxes by their frame lines.
  Lines framed;
  for (const std::string& row : rows)
    framed.push_back(std::regex_replace(row, std::regex("\\|"), "│"));
  EXPECT_EQ(BoxOf(framed, "+12.0℃/40.0%RH"), "传感器2:");
  EXPECT_EQ(FirstLine(framed, "正确次数"), "4");
  EXPECT_EQ(FirstLine(framed, "错误次数"), "1");
  EXPECT_EQ(FirstLine(framed, "错误比率"), "20.00%");
}

}  // namespace
