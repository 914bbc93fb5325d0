// One poll cycle end to end on the in-memory platform: the order of everything it does, what
// each outcome moves, and that no byte stream can push the state out of its bounds.
#include "app/poll_cycle.h"

#include <cstdio>

#include "reception/receive_step.h"
#include "support/allocation_count.h"
#include "support/fixture.h"

namespace {

class PollCycleTest : public CoreTest {
 protected:
  PollCycleTest() { observer_ = &log_; }
  std::size_t IndexOf(const std::string& prefix) {
    for (std::size_t i = 0; i < log_.events.size(); ++i) {
      if (log_.events[i].rfind(prefix, 0) == 0) return i;
    }
    ADD_FAILURE() << "no event " << prefix;
    return log_.events.size();
  }
  EventLog log_;
};

Bytes Reading(std::uint8_t id) {
  return MakeFrame(id, 0x10, 0x0171, 0x01C8);
}

TEST_F(PollCycleTest, TickWithoutBytesOnlyRearmsTheTimer) {
  const int sleeps = clock_.SleepCalls();
  PollCycle(hwnd_);
  EXPECT_EQ(log_.events, Lines({"kill timer 100", "set timer 100 200"}));
  EXPECT_EQ(clock_.SleepCalls(), sleeps);
}

TEST_F(PollCycleTest, StrayEventIsCountedAndLoggedBeforeTheFramesAndEachCountBeforeItsLine) {
  g_state.sensor_count = 6;
  port_.Arrive(Concat({{0x01, 0x02}, Reading(0), Reading(1), Reading(0)}));
  PollCycle(hwnd_);
  const std::string reading = "-09:05:00-10-+23.1℃/45.6%RH-";
  EXPECT_EQ(log_.events, Lines({
                             "kill timer 100",
                             "bad:      1 ",
                             "ratio:  100.00% ",
                             "log: 00001 -> 09:05:00 -- ERR1,L=2,D:01-02-",
                             "beep 48",
                             "good:      1 ",
                             "ratio:  50.00% ",
                             "panel 0: 000" + reading + " 0.2",
                             "good:      2 ",
                             "ratio:  33.33% ",
                             "panel 1: 000" + reading + " 0.2",
                             "good:      3 ",
                             "ratio:  25.00% ",
                             "panel 0: 001" + reading + " 0.0",
                             "set timer 100 200",
                         }));
  EXPECT_EQ(g_state.rx_length, 0);
}

TEST_F(PollCycleTest, BadFrameAndRefusedIdAreLoggedInTheirPlace) {
  Bytes bad = Reading(2);
  bad[7] ^= 0x01;
  g_state.bad_frames = 2;
  port_.Arrive(Concat({Reading(0), Reading(1), bad, Reading(3), Reading(32)}));
  PollCycle(hwnd_);
  // The refused id is a good frame with an error line that is not counted.
  EXPECT_EQ(g_state.good_frames, 4);
  EXPECT_EQ(g_state.bad_frames, 3);
  EXPECT_EQ(Log(), Lines({"00003 -> 09:05:00 -- ERR2,n=2,D:CC-02-10-71-01-C8-01-B2-DD-",
                          "00003 -> 09:05:00 -- ERR5,ID > 32!CC-20-10-71-01-C8-01-95-DD-"}));
  EXPECT_LT(IndexOf("panel 1: "), IndexOf("log: "));
  EXPECT_LT(IndexOf("log: "), IndexOf("panel 3: "));
  EXPECT_TRUE(Panel(2).empty());
}

TEST_F(PollCycleTest, ReadFailureAndLostInputAreLoggedAndPollingGoesOn) {
  g_state.bad_frames = 4;
  port_.Arrive(Reading(0));
  port_.FailNextRead();
  PollCycle(hwnd_);
  EXPECT_EQ(port_.Queued(), 0u);  // a refused read still empties the port
  port_.Arrive(Reading(1));
  port_.LoseInput();
  PollCycle(hwnd_);
  PollCycle(hwnd_);
  EXPECT_EQ(Log(), Lines({"00004 -> 09:05:00 -- ERR3,COM PORT READ ERR!",
                          "00004 -> 09:05:00 -- ERR4,TMP-BUFF FULL!"}));
  EXPECT_LT(IndexOf("panel 1: "), IndexOf("log: 00004 -> 09:05:00 -- ERR4"));
  EXPECT_EQ(g_state.good_frames, 1);
  EXPECT_EQ(g_state.bad_frames, 4);
  EXPECT_EQ(log_.events.back(), "set timer 100 200");
}

TEST_F(PollCycleTest, BacklogOfAPlainReceiverIsShownInArrivalOrderWithinOnePoll) {
  // 100 frames, 900 bytes, about what 38400 baud brings between two polls: more than one read
  // takes, so frames straddle the reads.
  Bytes stream;
  for (int i = 0; i < 100; ++i) {
    stream = Concat({stream, MakeFrame(static_cast<std::uint8_t>(i % 4),
                                       static_cast<std::uint8_t>(i), 0x0171, 0x01C8)});
  }
  port_.Arrive(stream);
  const int sleeps = clock_.SleepCalls();
  PollCycle(hwnd_);
  EXPECT_EQ(clock_.SleepCalls(), sleeps + 1);
  EXPECT_EQ(g_state.good_frames, 100);
  EXPECT_TRUE(Log().empty());
  EXPECT_EQ(port_.Queued(), 0u);
  std::string extras;  // each reading's extra byte, in the order the panels got them
  for (const std::string& event : log_.events) {
    if (event.rfind("panel ", 0) == 0) extras += event.substr(event.find(": ") + 15, 2) + " ";
  }
  std::string expected;
  char hex[4];
  for (int i = 0; i < 100; ++i) expected += (std::snprintf(hex, sizeof hex, "%02X ", i), hex);
  EXPECT_EQ(extras, expected);

  // Three times as much: one poll takes what its reads can, the next one the rest, joining the
  // frame that the last read cut.
  port_.Arrive(Concat({stream, stream, stream}));
  PollCycle(hwnd_);
  EXPECT_GT(port_.Queued(), 0u);
  PollCycle(hwnd_);
  EXPECT_EQ(g_state.good_frames, 400);
  EXPECT_EQ(port_.Queued(), 0u);
}

TEST_F(PollCycleTest, AnyByteStreamKeepsTheStateInBoundsAndEveryByteAccountedFor) {
  surface_.SetObserver(nullptr);
  StreamSource source(4242);
  const int shapes[] = {1, 4, 6, 9, 10, 32, 255};
  for (int round = 0; round < 4000 && !HasFailure(); ++round) {
    if (round % 200 == 0) {
      g_state.rx_skip = source.Next(2) == 0 ? 0 : 5;
      g_state.sensor_count = shapes[source.Next(7)];
      surface_.ResetContent(g_state.error_log_box);
      for (int id = 0; id < g_state.panel_count; ++id)
        surface_.ResetContent(g_state.panel_boxes[id]);
    }
    const Bytes chunk = source.Stream(source.Next(8) == 0 ? source.Next(1100) : source.Next(120));
    const int before = g_state.rx_length;
    const int good_before = g_state.good_frames;
    const int bad_before = g_state.bad_frames;
    const std::size_t log_before = Log().size();

    const int received = PollChunk(chunk.data(), chunk.size());

    ASSERT_GE(g_state.rx_length, 0);
    ASSERT_LE(g_state.rx_length, 320);
    ASSERT_LE(g_state.frame_count, 35);
    const int read = static_cast<int>(std::min<std::size_t>(chunk.size(), 1024));
    const int appended = std::max(0, read - g_state.rx_skip);
    if (received == kReceiveOverflow) {
      ASSERT_GT(before + appended, 320);
      ASSERT_EQ(g_state.rx_length, before);
      ASSERT_EQ(Log().size(), log_before + 1);
      continue;
    }
    if (received == kReceiveNothing) {
      ASSERT_EQ(g_state.rx_length, before + appended);
      ASSERT_LT(g_state.rx_length, 9);
      continue;
    }
    ASSERT_EQ(received, kReceiveFrameReady);
    ASSERT_LT(g_state.rx_length, 9);
    int good = 0;
    int bad = 0;
    int refused = 0;
    for (int k = 0; k < g_state.frame_count; ++k) {
      ASSERT_TRUE(g_state.frame_status[k] == 1 || g_state.frame_status[k] == 255);
      if (g_state.frame_status[k] == 1) {
        ++good;
        refused += g_state.frame_table[k][1] >= 32;
      } else {
        ++bad;
      }
    }
    const int strays = before + appended - g_state.rx_length - 9 * g_state.frame_count;
    ASSERT_GE(strays, 0);
    ASSERT_EQ(g_state.good_frames, good_before + good);
    ASSERT_EQ(g_state.bad_frames, bad_before + bad + (strays > 0 ? 1 : 0));
    ASSERT_EQ(Log().size(),
              log_before + static_cast<std::size_t>(bad + refused) + (strays > 0 ? 1u : 0u));
    if (strays > 0) {
      ASSERT_EQ(Log()[log_before].find("ERR1,L=" + std::to_string(strays) + ",D:"), 21u);
    }
  }
}

TEST_F(PollCycleTest, PollPathAllocatesNothingButTheLinesItStores) {
  surface_.SetObserver(nullptr);
  Bytes bad = Reading(1);
  bad[7] ^= 0x40;
  const Bytes stream = Concat({{0x00, 0xCC}, Reading(0), bad, Reading(33), Reading(3)});
  const Bytes chunk = Concat({Reading(2), {0xDD}, Reading(1)});

  for (int sensors : {4, 7, 20}) {
    g_state.sensor_count = sensors;
    port_.Arrive(stream);
    StartCountingAllocations();
    PollCycle(hwnd_);
    PollCycle(hwnd_);  // nothing waiting
    PollChunk(chunk.data(), chunk.size());
    const AllocationTally tally = StopCountingAllocations();
    EXPECT_EQ(tally.counted, 0) << sensors << " sensors";
    EXPECT_GT(tally.exempt, 0) << sensors << " sensors";
  }
  port_.Arrive(stream);
  port_.FailNextRead();
  FillRx(Bytes(8, 0));
  const Bytes overflow(313, 0);
  StartCountingAllocations();
  PollCycle(hwnd_);
  PollChunk(overflow.data(), overflow.size());
  EXPECT_EQ(StopCountingAllocations().counted, 0);
  EXPECT_EQ(Log().size(), 3 * 4u + 2u);

  // The count itself works (a direct call, which the optimiser may not remove).
  StartCountingAllocations();
  void* volatile block = ::operator new(16);
  ::operator delete(block);
  EXPECT_EQ(StopCountingAllocations().counted, 1);
}

// The stalls and readings a front end hears, in order.
struct StallsAndReadings : HeardSink {
  void OnReading(const ReadingEvent& r) override { Tell("reading " + std::to_string(r.sensor_id)); }
  void OnMonitorStall(const StallEvent& e) override { Tell("stall " + std::to_string(e.late_ms)); }
};

class LatePollTest : public CoreTest {
 protected:
  LatePollTest() {
    heard_.events = &events_;
    listener_ = &heard_;
  }
  StallsAndReadings heard_;
  Lines events_;
};

// A poll that comes late, or a read that ends late because the process stopped while the poll
// waited for the bytes to settle: more than two seconds late is told before what it read.
TEST_F(LatePollTest, APollOrReadMoreThanTwoSecondsLateIsToldBeforeWhatItRead) {
  const struct {
    std::uint32_t late;     // before the poll
    std::uint32_t stopped;  // during its pause before the read
    bool told;
  } cases[] = {{0, 0, false},    {2000, 0, false}, {2001, 0, true},
               {30000, 0, true}, {0, 1000, false}, {0, 3100, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.late << " " << c.stopped);
    events_.clear();
    port_.Arrive(Reading(1));
    clock_.Advance(static_cast<std::uint32_t>(host_.MillisecondsToNextPoll()) + c.late);
    if (c.stopped != 0) clock_.StopDuringNextSleep(c.stopped);
    ASSERT_TRUE(host_.PollIfDue());
    ASSERT_EQ(events_.size(), c.told ? 2u : 1u);
    if (c.told && c.late != 0) {
      EXPECT_EQ(events_.front(), "stall " + std::to_string(c.late));
    }
    EXPECT_EQ(events_.back(), "reading 1");
  }
}

}  // namespace
