// The link on the scripted port: opening at the configured port and rate, failures that leave
// nothing open, the reply to the probe, the write path the platform family chooses, and closing
// that is safe however often it runs. read_buffer is zero after every link operation.
#include <gtest/gtest.h>

#include <cstring>

#include "app/platform.h"
#include "serial/link.h"
#include "support/fixture.h"

namespace {

void SoilReadBuffer() {
  std::memset(g_state.read_buffer, 0x77, sizeof g_state.read_buffer);
}

class LinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetMonitorState();
    g_platform = Platform{&port_, &clock_};
  }
  void TearDown() override {
    EXPECT_EQ(port_.CallsOnClosedHandles(), 0);
    g_platform = Platform{};
  }

  ManualClock clock_;
  ScriptedSerialPort port_{&clock_};
};

TEST_F(LinkTest, OpensTheConfiguredPortAtEachRateWithEmptyQueuesAndClosesItOnce) {
  g_state.port_number = 3;
  for (int index = 0; index < kBaudRateCount; ++index) {
    g_state.baud_index = index;
    port_.Arrive({1, 2, 3});
    SoilReadBuffer();
    ASSERT_EQ(OpenLink(), 1);
    EXPECT_EQ(port_.LastOpenedPortNumber(), 3);
    EXPECT_EQ(port_.Baud(), BaudRates[index]);
    EXPECT_EQ(port_.Queued(), 0u);
    EXPECT_TRUE(ReadBufferZero());
    SoilReadBuffer();
    for (int i = 0; i < 3; ++i) CloseLink();
    EXPECT_EQ(port_.CloseCalls(), index + 1);
    EXPECT_TRUE(ReadBufferZero());
  }
}

TEST_F(LinkTest, AFailedOpenLeavesNothingOpenAndTheOpenFlagAsItWas) {
  port_.SetPresent(4, false);
  port_.SetHeldElsewhere(2, true);
  port_.RefuseBaud(19200);
  // Missing, held elsewhere, a rate the port refuses, a rate beyond the table.
  const std::pair<int, int> cases[] = {{4, 0}, {2, 0}, {1, 1}, {1, kBaudRateCount}};
  for (const auto& [port_number, baud_index] : cases) {
    g_state.port_number = port_number;
    g_state.baud_index = baud_index;
    g_state.port_open = 7;  // whatever the caller had
    EXPECT_EQ(OpenLink(), 0) << "port " << port_number;
    EXPECT_EQ(g_state.port_open, 7);
    EXPECT_EQ(port_.OpenPorts(), 0);
    // Nothing is left to close, so closing must not touch the port at all.
    const int closes = port_.CloseCalls();
    const int purges = port_.PurgeCalls();
    CloseLink();
    EXPECT_EQ(port_.CloseCalls(), closes);
    EXPECT_EQ(port_.PurgeCalls(), purges);
  }
}

TEST_F(LinkTest, TheReplyToTheProbeDecidesTheSkipAndNothingOfItStays) {
  const Bytes probe = {'A', 'B', 'C'};
  enum Failure { kNone, kWrite, kRead };
  const struct {
    std::string reply;  // the long one is more than the 18 bytes read
    Failure failure;
    int rx_skip;
  } cases[] = {{"ABC", kNone, 5},  {"ABC" + std::string(20, '\xC0'), kNone, 5},
               {"", kNone, 0},     {"AB", kNone, 0},
               {"ABDC", kNone, 0}, {"\rABC", kNone, 0},
               {"ABC", kWrite, 0}, {"ABC", kRead, 0}};
  ASSERT_EQ(OpenLink(), 1);
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.reply.size() << "-byte reply, failure " << c.failure);
    port_.ReplyToWrites(Bytes(c.reply.begin(), c.reply.end()));
    port_.FailWrites(c.failure == kWrite);
    if (c.failure == kRead) port_.FailNextRead();
    port_.Arrive(probe);  // left over from before the probe: no reply
    g_state.rx_skip = 99;
    SoilReadBuffer();
    ProbeLink();
    EXPECT_EQ(g_state.rx_skip, c.rx_skip);
    EXPECT_TRUE(ReadBufferZero());
    EXPECT_EQ(port_.Queued(), 0u) << "the rest is purged";
  }
  CloseLink();
}

TEST_F(LinkTest, ThePlatformFamilyChoosesTheWritePathAtEveryOpen) {
  struct Case {
    int platform_id, os_family, overlapped_writes;
  };
  // An unknown family keeps what an earlier open found.
  for (const Case& c :
       {Case{0, 0, 0}, Case{2, 40, 1}, Case{7, 40, 1}, Case{1, 98, 0}, Case{0, 98, 0}}) {
    port_.SetPlatformId(c.platform_id);
    const int overlapped = port_.OverlappedWrites();
    const int plain = port_.PlainWrites();
    ASSERT_EQ(OpenLink(), 1);
    ProbeLink();
    EXPECT_EQ(g_state.os_family, c.os_family) << "platform " << c.platform_id;
    EXPECT_EQ(port_.OverlappedWrites() - overlapped, c.overlapped_writes);
    EXPECT_EQ(port_.PlainWrites() - plain, 1 - c.overlapped_writes);
    CloseLink();
  }
}

}  // namespace
