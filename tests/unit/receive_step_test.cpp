// The receive step: when it reads, what it appends, and what it leaves at the port.
#include <algorithm>

#include "reception/receive_step.h"
#include "support/core_fixture.h"

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
  EXPECT_EQ(ReceiveStep(), kReceiveNothing);

  g_state.rx_skip = 5;
  port_.Arrive(Sequence(5));
  EXPECT_EQ(ReceiveStep(), kReceiveNothing);

  EXPECT_EQ(clock_.SleepCalls(), 0);
  EXPECT_EQ(port_.ReadCalls(), 0);
  EXPECT_EQ(port_.PurgeCalls(), 0);
  EXPECT_EQ(port_.Queued(), 5u);
  EXPECT_EQ(g_state.rx_length, 0);
}

TEST_F(ReceiveStepTest, AppendsBehindEarlierBytesAndReportsAFramesWorth) {
  port_.Arrive(Sequence(4));
  EXPECT_EQ(ReceiveStep(), kReceiveNothing);
  EXPECT_EQ(Rx(), Sequence(4));
  EXPECT_EQ(clock_.TotalSlept(), 30u);
  EXPECT_EQ(port_.LastReadRequest(), 14u);  // what waited, and 10 more
  EXPECT_EQ(port_.PurgeCalls(), 1);

  g_state.read_buffer[0] = 0x55;  // the step must leave read_buffer zero again
  port_.Arrive(Sequence(5, 4));
  port_.ArriveDuringNextRead({9, 10});  // bytes that come during the pause count too
  EXPECT_EQ(ReceiveStep(), kReceiveFrameReady);
  EXPECT_EQ(Rx(), Sequence(11));
  EXPECT_TRUE(ReadBufferZero());
  EXPECT_EQ(port_.PurgeCalls(), 2);
}

TEST_F(ReceiveStepTest, EchoingReceiverLosesTheFirstFiveBytesOfEveryRead) {
  g_state.rx_skip = 5;
  port_.Arrive(Sequence(14));
  EXPECT_EQ(ReceiveStep(), kReceiveFrameReady);
  EXPECT_EQ(Rx(), Sequence(9, 5));
}

TEST_F(ReceiveStepTest, ReadThatWouldPassTheBufferIsRefusedWhole) {
  const Bytes tail = Sequence(8, 100);
  FillRx(tail);
  port_.Arrive(Sequence(313));
  EXPECT_EQ(ReceiveStep(), kReceiveOverflow);
  EXPECT_EQ(Rx(), tail);
  EXPECT_EQ(port_.PurgeCalls(), 0);
  EXPECT_TRUE(std::equal(g_state.read_buffer, g_state.read_buffer + 313, Sequence(313).begin()));

  port_.Arrive(Sequence(312));
  EXPECT_EQ(ReceiveStep(), kReceiveFrameReady);
  EXPECT_EQ(g_state.rx_length, 320);
  EXPECT_EQ(Rx(), Concat({tail, Sequence(312)}));
}

TEST_F(ReceiveStepTest, RefusedReadPurgesAndKeepsTheBuffer) {
  FillRx(Sequence(3));
  port_.Arrive(Sequence(20));
  port_.FailNextRead();
  g_state.read_buffer[7] = 1;
  EXPECT_EQ(ReceiveStep(), kReceiveReadFailed);
  EXPECT_EQ(Rx(), Sequence(3));
  EXPECT_TRUE(ReadBufferZero());
  EXPECT_EQ(port_.Queued(), 0u);
}

TEST_F(ReceiveStepTest, ALineThatIsGoneIsAFailedReadWithoutAPause) {
  FillRx(Sequence(3));
  port_.SetLineLost(true);
  g_state.read_buffer[7] = 1;
  EXPECT_EQ(ReceiveStep(), kReceiveReadFailed);
  EXPECT_EQ(clock_.SleepCalls(), 0);
  EXPECT_EQ(Rx(), Sequence(3));
  EXPECT_TRUE(ReadBufferZero());
}

TEST_F(ReceiveStepTest, NeverAsksForMoreThanTheReadBufferHolds) {
  for (int waiting : {1013, 1014, 1015, 5000}) {
    port_.Arrive(Sequence(waiting));
    EXPECT_EQ(ReceiveStep(), kReceiveOverflow) << waiting;
    EXPECT_LE(port_.LastReadRequest(), sizeof g_state.read_buffer) << waiting;
    port_.Purge(g_state.port_handle);
  }
  EXPECT_EQ(port_.LargestReadRequest(), sizeof g_state.read_buffer);
  EXPECT_EQ(g_state.rx_length, 0);
}

}  // namespace
