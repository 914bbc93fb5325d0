// The ledger's estimates against what the simulated receiver sent, through the whole monitor on
// a manual clock: the simulator's transmissions reach the scripted port when they fall due, and
// the monitor polls when its timer says, each poll a little late as on a busy machine.
#include <random>

#include "app/resource_ids.h"
#include "ledger/ledger.h"
#include "sim/traffic.h"
#include "support.h"

namespace {

class LedgerStreams : public CoreTest {
 protected:
  LedgerStreams() { listener_ = &ledger_; }

  // Plays the simulator's schedule for ms of its time from now; each poll comes up to
  // late_ms after it is due.
  void Play(Traffic& traffic, std::uint64_t ms, std::uint32_t late_ms = 100) {
    std::mt19937 random(7);
    const std::uint32_t start = clock_.TickCount();
    Transmission t;
    bool more = traffic.Next(&t);
    while (clock_.TickCount() - start < ms) {
      clock_.Advance(10);
      if (host_.MillisecondsToNextPoll() == 0)
        clock_.Advance(static_cast<std::uint32_t>(random() % (late_ms + 1)));
      const std::uint64_t now = clock_.TickCount() - start;
      for (; more && t.due_ms <= now; more = traffic.Next(&t)) port_.Arrive(t.bytes);
      host_.PollIfDue();
    }
  }

  Ledger ledger_{&clock_, true};
};

TEST_F(LedgerStreams, CompleteStreamsShowNoLossAndLossyOnesTheirShareWithinTwoPoints) {
  const struct {
    const char* name;
    std::uint32_t interval_ms;
    double lose;
  } cases[] = {
      {"complete, 1 s", 1000, 0},
      // Readings two or three polls apart: a median of either misjudges every other interval.
      {"complete, 0.5 s", 500, 0},
      {"a tenth lost, 1 s", 1000, 0.1},
      {"3 in 100 lost, 0.5 s", 500, 0.03},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Command(CMD_STOP);
    Command(CMD_START);
    SimOptions options;
    options.interval_ms = c.interval_ms;
    options.lose_rate = c.lose;
    options.missing_rate = 0;
    Traffic traffic(options);
    Play(traffic, 600000);  // 10 minutes
    LedgerSnapshot s;
    ledger_.Snapshot(clock_.TickCount(), s);
    for (int id = 0; id < 4; ++id) {
      const SensorFigures& f = s.rows[id];
      SCOPED_TRACE(id);
      ASSERT_GT(f.tally.frames, 600000 / c.interval_ms / 2);
      ASSERT_TRUE(f.has_delivery && f.has_sequence_delivery);
      if (c.lose == 0) {
        EXPECT_EQ(f.sequence_delivery_hundredths, 10000);
        EXPECT_EQ(f.delivery_hundredths, 10000)
            << "median " << f.interval_median_ms << ", max " << f.tally.interval_max_ms;
      } else {
        EXPECT_NEAR(f.delivery_hundredths, f.sequence_delivery_hundredths, 200);
      }
    }
  }
}

}  // namespace
