// The receive step: when it reads, what it appends, and what it leaves at the port.
#include <algorithm>

#include "reception/receive_step.h"
#include "support/fixture.h"

namespace {

using ReceiveStepTest = CoreTest;

Bytes Sequence(int count, int first = 0) {
  Bytes b(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i)
    b[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(first + i);
  return b;
}

TEST_F(ReceiveStepTest, WaitsWithoutReadingUntilMoreThanTheSkippedBytesAreQueued) {
  const int reads = port_.ReadCalls();
  const int sleeps = clock_.SleepCalls();
  EXPECT_EQ(ReceiveStep(), kReceiveNothing);
  g_state.rx_skip = 5;
  port_.Arrive(Sequence(5));
  EXPECT_EQ(ReceiveStep(), kReceiveNothing);
  EXPECT_EQ(clock_.SleepCalls(), sleeps);
  EXPECT_EQ(port_.ReadCalls(), reads);
  EXPECT_EQ(port_.Queued(), 5u);
}

TEST_F(ReceiveStepTest, PlainReceiverKeepsWhatArrivesDuringAndAfterTheRead) {
  const int purges = port_.PurgeCalls();
  const std::uint64_t slept = clock_.TotalSlept();
  port_.Arrive(Sequence(4));
  EXPECT_EQ(ReceiveStep(), kReceiveNothing);
  EXPECT_EQ(Rx(), Sequence(4));
  EXPECT_EQ(clock_.TotalSlept() - slept, 30u);
  EXPECT_EQ(port_.LastReadRequest(), 14u);  // what waited, and 10 more

  g_state.read_buffer[0] = 0x55;  // the step must leave read_buffer zero again
  port_.Arrive(Sequence(5, 4));
  port_.ArriveDuringNextRead({9, 10});  // bytes that come during the pause count too
  port_.ArriveAfterNextRead({11, 12});  // and those that come after the read stay queued
  EXPECT_EQ(ReceiveStep(), kReceiveFrameReady);
  EXPECT_EQ(Rx(), Sequence(11));
  EXPECT_TRUE(ReadBufferZero());
  EXPECT_EQ(port_.PurgeCalls(), purges);
  EXPECT_EQ(port_.Queued(), 2u);
}

TEST_F(ReceiveStepTest, EchoingReceiverLosesTheFirstFiveBytesOfEveryReadAndWhatFollowsIt) {
  g_state.rx_skip = 5;
  const int purges = port_.PurgeCalls();
  port_.Arrive(Sequence(14));
  port_.ArriveAfterNextRead({1, 2, 3});
  EXPECT_EQ(ReceiveStep(), kReceiveFrameReady);
  EXPECT_EQ(Rx(), Sequence(9, 5));
  EXPECT_EQ(port_.PurgeCalls(), purges + 1);
  EXPECT_EQ(port_.Queued(), 0u);
}

TEST_F(ReceiveStepTest, ReadTakesNoMoreThanTheBufferHasRoomForAndLeavesTheRestQueued) {
  struct Case {
    int skip, length, waiting;
    std::uint32_t request;  // what the read asks for
    std::size_t queued;     // what waits afterwards
  };
  const Case cases[] = {
      {0, 0, 100, 110, 0},      // room enough: what waits, and 10 more
      {0, 8, 313, 312, 1},      // the byte beyond the room waits for the next read
      {0, 0, 5000, 320, 4680},  // far more than read_buffer holds
      {5, 8, 400, 317, 0},      // the echo prefix needs no room; the rest is purged
  };
  for (const Case& c : cases) {
    g_state.rx_skip = c.skip;
    FillRx(Sequence(c.length, 200));
    port_.Purge(g_state.port_handle);
    port_.Arrive(Sequence(c.waiting));
    EXPECT_EQ(ReceiveStep(), kReceiveFrameReady) << c.waiting;
    EXPECT_EQ(port_.LastReadRequest(), c.request) << c.waiting;
    const int read = std::min(c.waiting, static_cast<int>(c.request));
    EXPECT_EQ(g_state.rx_length, c.length + read - c.skip) << c.waiting;
    EXPECT_EQ(port_.Queued(), c.queued) << c.waiting;
  }
}

TEST_F(ReceiveStepTest, FurtherReadTakesAQueuedFrameOrMoreWithoutPausing) {
  port_.Arrive(Sequence(8));
  const int reads = port_.ReadCalls();
  EXPECT_EQ(ReceiveMore(), kReceiveNothing);
  EXPECT_EQ(port_.ReadCalls(), reads);
  port_.Arrive(Sequence(12, 8));
  const std::uint64_t slept = clock_.TotalSlept();
  const std::uint32_t tick = clock_.TickCount();
  EXPECT_EQ(ReceiveMore(), kReceiveFrameReady);
  EXPECT_EQ(Rx(), Sequence(20));
  EXPECT_EQ(port_.LastReadRequest(), 20u);  // no more than waits: the read ends at once
  EXPECT_EQ(clock_.TotalSlept(), slept);
  EXPECT_EQ(clock_.TickCount(), tick);
}

TEST_F(ReceiveStepTest, FailedReadOrLostLineKeepsTheBufferAndLeavesReadBufferZero) {
  FillRx(Sequence(3));
  port_.Arrive(Sequence(20));
  port_.FailNextRead();
  g_state.read_buffer[7] = 1;
  EXPECT_EQ(ReceiveStep(), kReceiveReadFailed);
  EXPECT_EQ(Rx(), Sequence(3));
  EXPECT_TRUE(ReadBufferZero());
  EXPECT_EQ(port_.Queued(), 0u);

  // A line that is gone cannot say what waits: a failed read at once, without the pause.
  port_.SetLineLost(true);
  const int sleeps = clock_.SleepCalls();
  g_state.read_buffer[7] = 1;
  EXPECT_EQ(ReceiveStep(), kReceiveReadFailed);
  EXPECT_EQ(clock_.SleepCalls(), sleeps);
  EXPECT_EQ(Rx(), Sequence(3));
  EXPECT_TRUE(ReadBufferZero());
}

}  // namespace
