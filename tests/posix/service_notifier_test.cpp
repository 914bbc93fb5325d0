// What the monitor tells a service manager, read from a datagram socket of the test's own: the
// environment it is given, and the headless monitor's messages from READY to STOPPING, with a
// loop that stops turning (the process stopped) stopping the watchdog's pings.
#include "platform/posix/service_notifier.h"

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <regex>

#include "support.h"

namespace {

// A datagram socket bound to name: a path, or an abstract name after "@".
class ManagerSocket {
 public:
  explicit ManagerSocket(const std::string& name) {
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    name.copy(address.sun_path, sizeof address.sun_path - 1);
    if (name[0] == '@') address.sun_path[0] = '\0';
    const std::size_t used = name.size() + (name[0] == '@' ? 0 : 1);
    EXPECT_EQ(bind(fd_, reinterpret_cast<sockaddr*>(&address),
                   static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + used)),
              0)
        << name;
  }
  ~ManagerSocket() { close(fd_); }
  ManagerSocket(const ManagerSocket&) = delete;
  ManagerSocket& operator=(const ManagerSocket&) = delete;

  // The next message within timeout_ms, or "" when none came.
  std::string Next(int timeout_ms) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) != 1) return "";
    char message[4096];
    const ssize_t n = recv(fd_, message, sizeof message, 0);
    return n > 0 ? std::string(message, static_cast<std::size_t>(n)) : "";
  }
  // The first message within timeout_ms in which pattern is found, or "".
  std::string Find(const std::string& pattern, int timeout_ms = 20000) {
    const double end = NowMs() + timeout_ms;
    for (double left = timeout_ms; left > 0; left = end - NowMs()) {
      const std::string message = Next(static_cast<int>(left));
      if (std::regex_search(message, std::regex(pattern))) return message;
    }
    return "";
  }

 private:
  int fd_ = -1;
};

TEST(ServiceNotifierTest, TheEnvironmentNamesTheSocketAndTheWatchdogOfThisProcess) {
  const pid_t self = getpid();
  const std::string me = std::to_string(self), other = std::to_string(self + 1);
  const struct {
    const char* socket;
    const char* usec;
    const char* pid;
    bool active;
    std::uint32_t watchdog_ms;
  } cases[] = {
      {nullptr, "200000", nullptr, false, 0},  // started by no manager
      {"relative/name", "200000", nullptr, false, 0},
      {"/run/notify", "200000", me.c_str(), true, 200},
      {"/run/notify", "1", nullptr, true, 1},             // a microsecond is still a watchdog
      {"/run/notify", "200000", other.c_str(), true, 0},  // the watchdog of another process
      {"/run/notify", "2s", nullptr, true, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.socket ? c.socket : "(none)") + " " + (c.usec ? c.usec : "-"));
    const ServiceNotifier notifier(c.socket, c.usec, c.pid, self);
    EXPECT_EQ(notifier.Active(), c.active);
    EXPECT_EQ(notifier.WatchdogMs(), c.watchdog_ms);
  }

  // A path: the message arrives as it was given; with no manager nothing is sent.
  ScratchDirectory dir;
  ManagerSocket manager(dir.File("notify"));
  ServiceNotifier notifier(dir.File("notify").c_str(), nullptr, nullptr, self);
  EXPECT_TRUE(notifier.Send("READY=1\nSTATUS=a b\n"));
  EXPECT_EQ(manager.Next(5000), "READY=1\nSTATUS=a b\n");
  EXPECT_FALSE(ServiceNotifier(nullptr, nullptr, nullptr, self).Send("READY=1"));
}

TEST(ServiceNotifierTest, TheHeadlessMonitorIsReadyPingsFromItsLoopTellsItsRunAndStops) {
  ScratchDirectory dir;
  const std::string name = "@wsmon-test-notify-" + std::to_string(getpid());
  ManagerSocket manager(name);
  Surroundings around;
  around.environment = {"NOTIFY_SOCKET=" + name, "WATCHDOG_USEC=200000"};  // a ping every 0.1 s
  Program wsmon(WSMON_PATH, {"--headless", "--simulate"}, dir.path(), around);

  const std::string ready = manager.Next(20000);
  EXPECT_THAT(ready, StartsWith("READY=1\nSTATUS=no run yet\n"));
  EXPECT_THAT(ready, HasSubstr("WATCHDOG=1\n"));
  wsmon.Write("settings save=1\nopen\nstart\n");
  // The figures of the run, once it has readings.
  EXPECT_THAT(manager.Find("STATUS=run [0-9]+:[0-9]{2}:[0-9]{2}: [1-9]"),
              testing::MatchesRegex("STATUS=run [0-9:]+: [0-9]+ readings, 4 sensors, [0-9]+ error "
                                    "events\nWATCHDOG=1\n"));

  // A loop that does not turn sends nothing, and the pings come again when it does.
  wsmon.Signal(SIGSTOP);
  ASSERT_TRUE(WaitUntil([&] {
    const std::string stat = ReadWholeFile("/proc/" + std::to_string(wsmon.pid()) + "/stat");
    return stat.find(") T ") != std::string::npos;
  }));
  while (!manager.Next(0).empty()) {
  }
  EXPECT_EQ(manager.Next(1000), "") << "10 intervals of the pings";
  wsmon.Signal(SIGCONT);
  EXPECT_THAT(manager.Find("WATCHDOG=1"), Not(""));

  // A stop request: told before the run's stop and its export.
  wsmon.Signal(SIGTERM);
  EXPECT_EQ(manager.Find("STOPPING=1"), "STOPPING=1\nSTATUS=stopping\n");
  EXPECT_EQ(wsmon.Finish(), 0);
  EXPECT_THAT(wsmon.lines(), Contains("> stop (signal)"));
}

TEST(ServiceNotifierTest, ServiceModeIsReadyOnceItsFirstRunHasStarted) {
  ScratchDirectory dir;
  const std::string name = "@wsmon-test-notify-run-" + std::to_string(getpid());
  ManagerSocket manager(name);
  Surroundings around;
  around.environment = {"NOTIFY_SOCKET=" + name};
  around.closed = {0};
  Program wsmon(WSMON_PATH, {"--run", "--simulate"}, dir.path(), around);
  EXPECT_THAT(manager.Next(20000), StartsWith("READY=1\nSTATUS=run "));
  wsmon.Signal(SIGTERM);
  EXPECT_EQ(manager.Find("STOPPING=1"), "STOPPING=1\nSTATUS=stopping\n");
  EXPECT_EQ(wsmon.Finish(), 0);
}

}  // namespace
