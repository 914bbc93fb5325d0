// The headless program among what surrounds its process: signals, closed standard descriptors
// and terminals, its own among them.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#include "support.h"

namespace {

TEST(ProcessSurroundingsTest, SignalsDuringARunExportItOnlyWhenTheOperatorDidNotEndItHimself) {
  struct Case {
    int signal;
    int save;
    Lines echoes;  // from the wait before the signal
  };
  const Lines stop_exit = {"> wait 1", "> stop (signal)", "> exit (signal)"};
  const Case cases[] = {
      {SIGINT, 1, {"> wait 1", "> exit (interrupted)"}},
      {SIGTERM, 1, stop_exit},
      {SIGHUP, 1, stop_exit},
      {SIGQUIT, 1, stop_exit},
      {SIGTERM, 0, {"> wait 1", "> exit (signal)"}},
      {SIGUSR1, 1, {"> wait 1", "> wait 2", "> exit (end of input)"}},  // ignored
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(strsignal(c.signal) + std::string(", saving ") + std::to_string(c.save));
    ScratchDirectory dir;
    PseudoTerminal line;
    Program wsmon(WSMON_PATH, {"--headless", "--com", "1=" + line.path()}, dir.path());
    wsmon.Write("settings save=" + std::to_string(c.save) + "\nopen\nstart\nwait 1\n");
    ASSERT_TRUE(wsmon.WaitFor([](const std::string& l) { return l == "> wait 1"; }));
    wsmon.Signal(c.signal);
    // The input ends once the signal has been dealt with (or shown to change nothing).
    if (c.signal == SIGUSR1) wsmon.Write("wait 2\n");
    const std::string settled = c.signal == SIGUSR1 ? "> wait 2" : c.echoes.back();
    EXPECT_TRUE(wsmon.WaitFor([&settled](const std::string& l) { return l == settled; }));
    EXPECT_EQ(wsmon.Finish(), 0);
    Lines echoes;
    for (const std::string& l : wsmon.lines()) {
      if (l.rfind("> ", 0) == 0 && (!echoes.empty() || l == "> wait 1")) echoes.push_back(l);
    }
    EXPECT_EQ(echoes, c.echoes);
    const Lines names = dir.Names();
    EXPECT_EQ(names.size() == 2 && names[0].rfind("RUVEZ_", 0) == 0, c.echoes == stop_exit);
    EXPECT_EQ(ReadWholeFile(dir.File("wscfg.cfg")), std::string("\1\0", 2) + char(c.save) + "\4");
  }
}

TEST(ProcessSurroundingsTest, ClosedStandardDescriptorsAreTakenByNothingTheMonitorOpens) {
  const std::pair<std::vector<int>, bool> cases[] = {{{1}, false}, {{0}, true}, {{0, 1, 2}, false}};
  for (const auto& [closed, simulate] : cases) {
    SCOPED_TRACE(::testing::PrintToString(closed));
    ScratchDirectory dir;
    PseudoTerminal line;
    Surroundings around;
    around.closed = closed;
    const Lines args = simulate ? Lines{"--headless", "--simulate"}
                                : Lines{"--headless", "--com", "1=" + line.path()};
    Program wsmon(WSMON_PATH, args, dir.path(), around);
    // Without standard input the monitor ends at once, before any command.
    wsmon.Write("open\nwait 300\nexit\n");
    EXPECT_EQ(wsmon.Finish(), 0);
    const Bytes sent = line.Receive(100, 1 << 20);
    EXPECT_EQ(std::string(sent.begin(), sent.end()), closed[0] == 0 ? "" : "ABC")
        << "the probe alone";
    EXPECT_EQ(ReadWholeFile(dir.File("wscfg.cfg")), std::string("\1\0\0\4", 4));
  }
}

TEST(ProcessSurroundingsTest, APortsTerminalSettingsComeBackAndTheMonitorsOwnTerminalIsNoPort) {
  struct Case {
    bool own_terminal;  // the pseudo-terminal is the monitor's controlling terminal
    bool by_tty;        // --com names it /dev/tty
    const char* then;   // the commands after the port was opened and looked at
  };
  const Case cases[] = {
      {false, false, "close\n"}, {false, false, ""}, {true, true, ""}, {true, false, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.own_terminal << c.by_tty << c.then);
    ScratchDirectory dir;
    PseudoTerminal line;
    const int tty = open(line.path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios before{};
    ASSERT_EQ(tcgetattr(tty, &before), 0);
    before.c_lflag |= ICANON | ECHO;  // a terminal as a person uses it, at an odd speed
    cfsetspeed(&before, B4800);
    ASSERT_EQ(tcsetattr(tty, TCSANOW, &before), 0);
    ASSERT_EQ(tcgetattr(tty, &before), 0);
    Surroundings around;
    if (c.own_terminal) around.terminal = line.path();
    Program wsmon(WSMON_PATH, {"--headless", "--com", "1=" + (c.by_tty ? "/dev/tty" : line.path())},
                  dir.path(), around);
    wsmon.Write("open\nwait 1\n");
    ASSERT_TRUE(wsmon.WaitFor([](const std::string& l) { return l == "> wait 1"; }));
    termios during{};
    tcgetattr(tty, &during);
    EXPECT_EQ((during.c_lflag & ICANON) == 0, !c.own_terminal) << "raw while open";
    wsmon.Write(c.then);
    EXPECT_EQ(wsmon.Finish(), 0);
    const Lines& out = wsmon.lines();
    EXPECT_EQ(std::count(out.begin(), out.end(), kOpenFailedLine), c.own_terminal);
    termios after{};
    ASSERT_EQ(tcgetattr(tty, &after), 0);
    EXPECT_EQ(std::memcmp(&after, &before, sizeof after), 0) << "as before";
    close(tty);
  }
}

}  // namespace
