// What the status line says of an outage while the device is lost and once it is back, when it
// next changes by itself, and the outage's length rounded from its milliseconds.
#include "frontend/common/port_loss_text.h"
#include "frontend/terminal/status_line.h"
#include "support.h"

namespace {

// A status line of COM1 at path, opened, in a run started at tick 1000, lost at tick 1500.
struct RunningLine {
  explicit RunningLine(const std::string& path) {
    ResetMonitorState();
    ports.Set(1, path);
    status.PortOpened(1, 0);
    g_state.port_open = 1;
    g_state.running = 1;
    clock.SetTick(1000);
    history.OnRunStarted();
    g_state.port_lost_tick = 1500;
  }
  ~RunningLine() { ResetMonitorState(); }
  ManualClock clock;
  ReadingHistory history{&clock};
  ComPortMap ports;
  StatusLine status{&ports, &history, nullptr};
};

TEST(OutageTextsTest, TheStatusLineCountsTheOutageLiveThenTellsItsLengthForTenSeconds) {
  RunningLine line("/dev/ttyUSB0");
  StatusLine& status = line.status;
  ReadingHistory& history = line.history;
  g_state.port_lost = 1;
  // Lost at tick 1500, back at 14000 after 12250 ms: shown rounded up from the halfway tenth.
  const struct {
    std::uint32_t now;
    bool lost;
    const char* shown;
    long next_change_ms;
  } cases[] = {
      {1500, true, "run 0:00:00, device lost 0:00:00, waiting", 500},
      {14450, true, "run 0:00:13, device lost 0:00:12, waiting", 50},
      {14000, false, "run 0:00:13, reconnected after 12.3 s", 1000},
      {23999, false, "run 0:00:22, reconnected after 12.3 s", 1},
      {24000, false, "run 0:00:23, 0.0 frames/s", 1000},
  };
  for (const auto& c : cases) {
    if (!c.lost && g_state.port_lost == 1) {
      g_state.port_lost = 0;
      history.OnPortBack(PortEvent{14000, {}, 12250});
    }
    EXPECT_EQ(status.State(c.now),
              std::string("COM1 /dev/ttyUSB0 9600 baud, no data yet, ") + c.shown);
    EXPECT_EQ(status.MillisecondsToNextChange(c.now), c.next_change_ms) << c.now;
  }
  g_state.running = 0;
  g_state.port_lost = 1;
  EXPECT_EQ(status.State(25000), "COM1 /dev/ttyUSB0 9600 baud, no data yet, device lost, stopped");

  const std::pair<std::uint32_t, const char*> lengths[] = {
      {49, "0.0"}, {50, "0.1"}, {12249, "12.2"}, {3600000, "3600.0"}, {4294967295u, "4294967.3"}};
  for (const auto& [ms, text] : lengths) EXPECT_EQ(OutageSeconds(ms), text) << ms;
}

// A long device path on a narrow screen: the outage, the rate and the keys stay; the path goes
// first, shortened in its middle while there is room for a useful part of it.
TEST(OutageTextsTest, TheStatusLineKeepsWhatMattersMostAndShortensTheDevicePathInItsMiddle) {
  const std::string path = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0";
  RunningLine line(path);
  const std::string lost = ", run 0:00:13, device lost 0:00:12, waiting";
  const struct {
    bool lost;
    int cells;
    std::string state;
    const char* keys;
  } cases[] = {
      {true, 78, "COM1 9600 baud" + lost, "F10 menu  ? help"},
      {true, 98, "COM1 /dev/se…XYZ-if00-port0 9600 baud" + lost, "F10 menu  ? help"},
      {true, 158, "COM1 " + path + " 9600 baud, no data yet" + lost, "F10 menu  ? help"},
      {false, 78, "COM1 /dev/…Z-if00-port0 9600 baud, run 0:00:13, 0.0 frames/s",
       "F10 menu  ? help"},
      {false, 40, "COM1, 0.0 frames/s", "F10 menu  ? help"},
      {false, 20, "COM1, 0.0 frames/s", ""},
  };
  for (const auto& c : cases) {
    g_state.port_lost = c.lost ? 1 : 0;
    const StatusText text = line.status.Fit(14000, c.cells);
    EXPECT_EQ(text.state, c.state) << c.cells;
    EXPECT_EQ(text.keys, c.keys) << c.cells;
  }
  EXPECT_EQ(ShortenMiddle("abcdefghij0123456789", 10), "abc…456789");
  EXPECT_EQ(ShortenMiddle("short", 5), "short");
}

}  // namespace
