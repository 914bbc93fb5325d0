// What the status line says of an outage while the device is lost and once it is back, when it
// next changes by itself, and the outage's length rounded from its milliseconds.
#include "frontend/common/port_loss_text.h"
#include "frontend/terminal/status_line.h"
#include "support.h"

namespace {

TEST(OutageTextsTest, TheStatusLineCountsTheOutageLiveThenTellsItsLengthForTenSeconds) {
  ResetMonitorState();
  ManualClock clock;
  ReadingHistory history(&clock);
  ComPortMap ports;
  ports.Set(1, "/dev/ttyUSB0");
  StatusLine status(&ports, &history, nullptr);
  status.PortOpened(1, 0);
  g_state.port_open = 1;
  g_state.running = 1;
  clock.SetTick(1000);
  history.OnRunStarted();
  g_state.port_lost = 1;
  g_state.port_lost_tick = 1500;
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
  ResetMonitorState();

  const std::pair<std::uint32_t, const char*> lengths[] = {
      {49, "0.0"}, {50, "0.1"}, {12249, "12.2"}, {3600000, "3600.0"}, {4294967295u, "4294967.3"}};
  for (const auto& [ms, text] : lengths) EXPECT_EQ(OutageSeconds(ms), text) << ms;
}

}  // namespace
