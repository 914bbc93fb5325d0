// The host runs its tickers from the loop that runs the poll cycles: when they are due, and no
// later than the loop's wait says.
#include <gtest/gtest.h>

#include "app/resource_ids.h"
#include "support/fixture.h"

namespace {

class CountingTicker : public HostTicker {
 public:
  explicit CountingTicker(std::uint32_t due) : due_(due) {}
  long MillisecondsToTick(std::uint32_t now) const override {
    return now >= due_ ? 0 : static_cast<long>(due_ - now);
  }
  void Tick(std::uint32_t now) override {
    ticks.push_back(now);
    due_ = now + 1000;
  }
  std::vector<std::uint32_t> ticks;

 private:
  std::uint32_t due_;
};

TEST(HostTicker, TickersRunWhenDueAndTheLoopWaitsNoLongerThanTheSoonest) {
  ResetMonitorState();
  ManualClock clock;
  ScriptedSerialPort port;
  MemoryFileStore files("/run");
  MonitorHost host(&port, &clock, &files);
  CountingTicker ticker(300);
  ASSERT_TRUE(host.AddTicker(&ticker));
  host.Create();
  // No run: the poll timer is not armed, so the ticker alone sets the wait.
  EXPECT_EQ(host.MillisecondsToNextPoll(), 300);
  EXPECT_FALSE(host.PollIfDue());
  EXPECT_TRUE(ticker.ticks.empty());
  clock.Advance(300);
  EXPECT_EQ(host.MillisecondsToNextPoll(), 0);
  EXPECT_FALSE(host.PollIfDue());  // a ticker is no poll cycle
  EXPECT_EQ(ticker.ticks, std::vector<std::uint32_t>{300});
  EXPECT_EQ(host.MillisecondsToNextPoll(), 1000);
  host.Choose(CMD_OPEN);
  host.Choose(CMD_START);
  // A run: the poll timer, 200 ms away, is sooner.
  EXPECT_EQ(host.MillisecondsToNextPoll(), 200);
  // The loop's way: wait as long as it says, then look.
  while (ticker.ticks.size() < 2 && clock.TickCount() < 5000) {
    const long wait = host.MillisecondsToNextPoll();
    clock.Advance(static_cast<std::uint32_t>(wait > 0 ? wait : 1));
    host.PollIfDue();
  }
  ASSERT_EQ(ticker.ticks.size(), 2u);
  // Due at 1300: never before, and no later than a poll cycle's own pause (30 ms) after.
  EXPECT_GE(ticker.ticks[1], 1300u);
  EXPECT_LE(ticker.ticks[1], 1300u + 60u);
}

}  // namespace
