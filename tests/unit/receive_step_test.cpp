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

bool ReadBufferZero() {
  return std::all_of(std::begin(g_state.read_buffer), std::end(g_state.read_buffer),
                     [](std::uint8_t b) { return b == 0; });
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

TEST_F(ReceiveStepTest, AppendsBehindEarlierBytesSkipsTheEchoPrefixAndPurgesAfterEachRead) {
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
  EXPECT_EQ(ReceiveStep(), kReceiveFrameReady);
  EXPECT_EQ(Rx(), Sequence(11));
  EXPECT_TRUE(ReadBufferZero());
  EXPECT_EQ(port_.PurgeCalls(), purges + 2);

  // An echoing receiver puts five bytes of its own in front of every block.
  g_state.rx_length = 0;
  g_state.rx_skip = 5;
  port_.Arrive(Sequence(14));
  EXPECT_EQ(ReceiveStep(), kReceiveFrameReady);
  EXPECT_EQ(Rx(), Sequence(9, 5));
}

TEST_F(ReceiveStepTest, ReadThatWouldPassTheBufferIsRefusedWhole) {
  const Bytes tail = Sequence(8, 100);
  FillRx(tail);
  const int purges = port_.PurgeCalls();
  port_.Arrive(Sequence(313));
  EXPECT_EQ(ReceiveStep(), kReceiveOverflow);
  EXPECT_EQ(Rx(), tail);
  EXPECT_EQ(port_.PurgeCalls(), purges);

  port_.Arrive(Sequence(312));
  EXPECT_EQ(ReceiveStep(), kReceiveFrameReady);
  EXPECT_EQ(Rx(), Concat({tail, Sequence(312)}));

  // However much waits, no read asks for more than read_buffer holds.
  g_state.rx_length = 0;
  for (int waiting : {1013, 1014, 1015, 5000}) {
    port_.Arrive(Sequence(waiting));
    EXPECT_EQ(ReceiveStep(), kReceiveOverflow) << waiting;
    port_.Purge(g_state.port_handle);
  }
  EXPECT_EQ(port_.LargestReadRequest(), sizeof g_state.read_buffer);
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
