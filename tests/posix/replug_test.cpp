// A receiver unplugged and plugged in again during a run, on real pseudo-terminals: the monitor
// shows what the receiver sends once it is back, keeps no descriptor of a device that has gone
// however often that happens, and ends an outage by a close with nothing left open.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <regex>

#include "app/monitor_state.h"
#include "app/resource_ids.h"
#include "platform/memory/monitor_host.h"
#include "platform/posix/serial_device_list.h"
#include "support.h"

namespace {

TEST(ReplugTest, TwoHundredUnplugsAndReplugsKeepNoDescriptorAndReadingsGoOnInTheSameRun) {
  ScratchDirectory dir;
  const std::string link = dir.File("receiver");
  auto far = std::make_unique<PseudoTerminal>();
  ASSERT_EQ(symlink(far->path().c_str(), link.c_str()), 0);
  ComPortMap ports;
  ports.Set(1, link);
  ManualClock clock;
  PosixSerialPort port(ports);
  MemoryFileStore files;
  files.PutFile("wscfg.cfg", {1, 0, 0, 4});
  MonitorHost host(&port, &clock, &files);
  host.Create();
  host.Choose(CMD_OPEN);
  host.Choose(CMD_START);
  const auto poll = [&] {
    clock.Advance(POLL_PERIOD_MS);
    ASSERT_TRUE(host.PollIfDue());
  };
  const int descriptors = OpenDescriptorCount();
  const double start = NowMs();
  for (int cycle = 0; cycle < 200; ++cycle) {
    far.reset();  // unplugged: the device node goes too
    ASSERT_EQ(unlink(link.c_str()), 0);
    poll();
    poll();
    ASSERT_EQ(g_state.port_lost, 1);
    ASSERT_EQ(OpenDescriptorCount(), descriptors - 2) << "a handle kept during outage " << cycle;
    far = std::make_unique<PseudoTerminal>();
    ASSERT_EQ(symlink(far->path().c_str(), link.c_str()), 0);
    poll();
    ASSERT_EQ(g_state.port_lost, 0);
    ASSERT_EQ(OpenDescriptorCount(), descriptors) << "after replug " << cycle;
    if (cycle % 50 == 0) {
      far->Send(MakeFrame(0, static_cast<std::uint8_t>(cycle), 0x0171, 0x01C8));
      ASSERT_TRUE(WaitUntil([&] { return port.WaitingCount(g_state.port_handle) >= 9; }));
      poll();
    }
  }
  std::printf("200 unplug/replug cycles in %.0f ms, %d descriptors before and after\n",
              NowMs() - start, OpenDescriptorCount());
  const Lines& readings = host.surface().Lines(g_state.panel_boxes[0]);
  ASSERT_EQ(readings.size(), 5u);  // the run's header and one reading per 50 cycles
  for (int i = 0; i < 4; ++i) EXPECT_EQ(readings[i + 1u].substr(0, 3), "00" + std::to_string(i));
  EXPECT_EQ(host.surface().Lines(g_state.error_log_box).size(), 200u) << "one ERR3 per outage";
  host.Choose(CMD_EXIT);
}

// Each sensor's running numbers in the reading lines after the line from (or in all of them).
std::map<int, std::vector<int>> Numbers(const Lines& lines, const std::string& from = "") {
  static const std::regex reading("panel (\\d) line \\d+ \"(\\d{3})-.*\"");
  std::map<int, std::vector<int>> numbers;
  auto line = from.empty() ? lines.begin() : std::find(lines.begin(), lines.end(), from);
  for (std::smatch m; line != lines.end(); ++line) {
    if (std::regex_match(*line, m, reading)) numbers[std::stoi(m[1])].push_back(std::stoi(m[2]));
  }
  return numbers;
}

TEST(ReplugTest, AfterAReplugTheMonitorShowsWhatTheReceiverSentAndACloseEndsTheOutage) {
  ScratchDirectory dir;
  const std::string receiver_end = dir.File("receiver");
  const std::string monitor_end = dir.File("monitor");
  auto relay = std::make_unique<Relay>(receiver_end, monitor_end);
  Surroundings around;
  around.keep_errors = true;
  Program wsmon(WSMON_PATH, {"--headless", "--com", "1=" + monitor_end}, dir.path(), around);
  const auto line = [&wsmon](const std::string& prefix, int nth = 1) {
    int seen = 0;
    return wsmon.WaitFor(
        [&](const std::string& l) { return l.rfind(prefix, 0) == 0 && ++seen == nth; });
  };
  const auto descriptors = [&wsmon] {
    return DirectoryEntries("/proc/" + std::to_string(wsmon.pid()) + "/fd").size();
  };
  wsmon.Write("wait 1\n");
  ASSERT_TRUE(line("> wait 1"));
  const std::size_t without_port = descriptors();
  // The second wait's echo shows that the start, with its purge of the port, is over.
  wsmon.Write("open\nstart\nwait 1\n");
  ASSERT_TRUE(line("> wait 1", 2));
  const std::vector<std::string> receiver = {
      "--device", receiver_end, "--sensors", "2", "--interval", "100", "--jitter", "0", "--seed"};
  {
    std::vector<std::string> args = receiver;
    args.push_back("7");
    Program first(WSMON_SIM_PATH, args);
    ASSERT_TRUE(line("panel 1 line 3"));
    relay.reset();  // unplugged, and the receiver with it
    first.Signal(SIGTERM);
    first.Finish();
  }
  ASSERT_TRUE(line("port lost"));
  EXPECT_EQ(descriptors(), without_port) << "the lost device's handle is let go";
  wsmon.Write("wait 600\nopen\n");  // polls of absence; the refused open marks their end
  ASSERT_TRUE(line("refused open"));
  const std::map<int, std::vector<int>> before = Numbers(wsmon.lines());

  relay = std::make_unique<Relay>(receiver_end, monitor_end);
  ASSERT_TRUE(line("port back "));
  const std::string back =
      *std::find_if(wsmon.lines().begin(), wsmon.lines().end(),
                    [](const std::string& l) { return l.rfind("port back ", 0) == 0; });
  EXPECT_TRUE(std::regex_match(back, std::regex("port back \\d+\\.\\d"))) << back;
  std::vector<std::string> args = receiver;
  args.insert(args.end(), {"9", "--frames", "14", "--linger", "300"});
  Program second(WSMON_SIM_PATH, args);
  ASSERT_EQ(second.Finish(), 0);
  std::map<int, std::vector<int>> after;
  ASSERT_TRUE(WaitUntil([&] {
    after = Numbers(wsmon.lines(), back);
    return after[0].size() + after[1].size() >= 14;
  }));
  for (int sensor = 0; sensor < 2; ++sensor) {
    // As many as were sent, their running numbers going on from the first receiver's.
    const std::string key = "sensor " + std::to_string(sensor) + " ";
    const auto sent = std::find_if(second.lines().begin(), second.lines().end(),
                                   [&key](const std::string& l) { return l.rfind(key, 0) == 0; });
    ASSERT_NE(sent, second.lines().end());
    ASSERT_EQ(std::to_string(after[sensor].size()), sent->substr(key.size())) << key;
    for (std::size_t i = 0; i < after[sensor].size(); ++i) {
      EXPECT_EQ(after[sensor][i], static_cast<int>(before.at(sensor).size() + i)) << key;
    }
  }

  // Unplugged once more and closed during the outage: nothing is held or tried afterwards.
  relay.reset();
  ASSERT_TRUE(line("port lost", 2));
  wsmon.Write("close\n");
  ASSERT_TRUE(line("menu open enabled"));
  EXPECT_EQ(descriptors(), without_port);
  relay = std::make_unique<Relay>(receiver_end, monitor_end);
  wsmon.Write("wait 400\nexit\n");
  EXPECT_EQ(wsmon.Finish(), 0);
  EXPECT_THAT(wsmon.lines(), Contains(HasSubstr("port back")).Times(1));
  EXPECT_THAT(wsmon.lines(), Contains(HasSubstr("ERR3,")).Times(2));
  EXPECT_THAT(wsmon.lines(), Contains(HasSubstr(" ERR3=2 ")).Times(1))
      << "the ledger's count at the close";
  EXPECT_THAT(wsmon.lines(), Contains(HasSubstr("beep 48")).Times(2));
  const Lines errors = wsmon.error_lines();
  ASSERT_EQ(errors.size(), 2u) << ::testing::PrintToString(errors);
  EXPECT_THAT(
      errors,
      Contains(HasSubstr("wsmon: COM1 (" + monitor_end + ") stopped answering: ")).Times(2));
}

}  // namespace
