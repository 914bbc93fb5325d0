// The link: opening at the configured port and rate, the probe and its verdict, and closing that
// is safe however often it runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "app/monitor_state.h"
#include "app/platform.h"
#include "platform/memory/manual_clock.h"
#include "platform/memory/scripted_serial_port.h"
#include "serial/link.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kProbe = {0x41, 0x42, 0x43};

bool ReadBufferZero() {
  return std::all_of(std::begin(g_state.read_buffer), std::end(g_state.read_buffer),
                     [](std::uint8_t b) { return b == 0; });
}

void SoilReadBuffer() {
  std::memset(g_state.read_buffer, 0x5A, sizeof g_state.read_buffer);
}

class LinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetMonitorState();
    g_platform = Platform{};
    g_platform.port = &port_;
    g_platform.clock = &clock_;
  }
  void TearDown() override {
    EXPECT_EQ(port_.CallsOnClosedHandles(), 0);
    g_platform = Platform{};
  }

  ManualClock clock_;
  ScriptedSerialPort port_{&clock_};
};

TEST_F(LinkTest, OpensTheConfiguredPortAtTheConfiguredRateWithEmptyQueues) {
  for (int index = 0; index < kBaudRateCount; ++index) {
    g_state.port_number = 3;
    g_state.baud_index = index;
    port_.Arrive({1, 2, 3});
    SoilReadBuffer();

    ASSERT_EQ(OpenLink(), 1);
    EXPECT_EQ(g_state.port_open, 1);
    EXPECT_TRUE(port_.IsOpen(g_state.port_handle));
    EXPECT_EQ(port_.LastOpenedPortNumber(), 3);
    EXPECT_EQ(port_.Baud(), BaudRates[index]);
    EXPECT_EQ(port_.Queued(), 0u);
    EXPECT_TRUE(ReadBufferZero());

    CloseLink();
    EXPECT_EQ(port_.OpenPorts(), 0);
  }
}

TEST_F(LinkTest, AFailedOpenLeavesNothingOpenAndTheOpenFlagAsItWas) {
  port_.SetPresent(4, false);
  port_.SetHeldElsewhere(2, true);
  port_.RefuseBaud(19200);
  struct Case {
    int port_number;
    int baud_index;
  };
  for (const Case& c : {Case{4, 0}, Case{2, 0}, Case{1, 1}}) {
    g_state.port_number = c.port_number;
    g_state.baud_index = c.baud_index;
    g_state.port_open = 7;  // whatever the caller had
    EXPECT_EQ(OpenLink(), 0) << "port " << c.port_number;
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

TEST_F(LinkTest, ABaudIndexBeyondTheTableOpensNothing) {
  g_state.baud_index = kBaudRateCount;
  EXPECT_EQ(OpenLink(), 0);
  EXPECT_EQ(port_.OpenCalls(), 0);
  EXPECT_EQ(g_state.port_open, 0);
}

TEST_F(LinkTest, CloseLinkRunsAnyNumberOfTimesAndClosesThePortOnce) {
  // Never opened: nothing is purged or closed.
  CloseLink();
  CloseLink();
  EXPECT_EQ(port_.PurgeCalls(), 0);
  EXPECT_EQ(port_.CloseCalls(), 0);

  ASSERT_EQ(OpenLink(), 1);
  port_.ReplyToWrites(kProbe);
  ProbeLink();
  SoilReadBuffer();
  for (int i = 0; i < 3; ++i) CloseLink();
  EXPECT_EQ(port_.CloseCalls(), 1);
  EXPECT_EQ(port_.OpenPorts(), 0);
  EXPECT_EQ(g_state.port_open, 0);
  EXPECT_TRUE(ReadBufferZero());
  EXPECT_EQ(g_state.rx_skip, 5) << "the latest probe's verdict stands until the next probe";

  // The port can be opened again afterwards.
  EXPECT_EQ(OpenLink(), 1);
  CloseLink();
  EXPECT_EQ(port_.CloseCalls(), 2);
}

struct ProbeCase {
  const char* what;
  Bytes reply;
  int rx_skip;
};

void PrintTo(const ProbeCase& c, std::ostream* os) {
  *os << c.what;
}

class ProbeTest : public LinkTest, public ::testing::WithParamInterface<ProbeCase> {};

TEST_P(ProbeTest, TheReplysFirstThreeBytesDecide) {
  ASSERT_EQ(OpenLink(), 1);
  g_state.rx_skip = 99;
  // A reply to an earlier probe that is still queued must not count as the echo.
  port_.Arrive(kProbe);
  port_.ReplyToWrites(GetParam().reply);
  const std::uint32_t before = clock_.TickCount();

  ProbeLink();

  EXPECT_EQ(g_state.rx_skip, GetParam().rx_skip);
  ASSERT_EQ(port_.Writes().size(), 1u);
  EXPECT_EQ(port_.Writes()[0], kProbe);
  EXPECT_EQ(port_.LastReadRequest(), 18u);
  EXPECT_EQ(port_.Queued(), 0u) << "whatever else came is purged";
  EXPECT_TRUE(ReadBufferZero());
  // The pause before the read, and the read's whole time-out when fewer than 18 bytes come.
  const std::uint32_t waited = GetParam().reply.size() >= 18 ? 50u : 50u + 64u;
  EXPECT_EQ(clock_.TickCount() - before, waited);
  CloseLink();
}

Bytes Echo18Plus() {
  Bytes reply = kProbe;
  for (std::uint8_t i = 0; i < 20; ++i) reply.push_back(i);
  return reply;
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ProbeTest,
    ::testing::Values(ProbeCase{"Echo", kProbe, 5}, ProbeCase{"Silent", {}, 0},
                      ProbeCase{"OnlyAB", {0x41, 0x42}, 0},
                      ProbeCase{"ABCLater", {0x00, 0x41, 0x42, 0x43}, 0},
                      ProbeCase{"OtherBytes", {0x41, 0x42, 0x44, 0x41, 0x42, 0x43}, 0},
                      ProbeCase{"LongReplyStartingWithABC", Echo18Plus(), 5}),
    [](const ::testing::TestParamInfo<ProbeCase>& param_info) {
      return std::string(param_info.param.what);
    });

TEST_F(LinkTest, AFailedWriteOrReadCountsAsNoEcho) {
  ASSERT_EQ(OpenLink(), 1);
  port_.ReplyToWrites(kProbe);
  port_.FailWrites(true);
  g_state.rx_skip = 5;
  ProbeLink();
  EXPECT_EQ(g_state.rx_skip, 0);

  port_.FailWrites(false);
  port_.FailNextRead();
  g_state.rx_skip = 5;
  ProbeLink();
  EXPECT_EQ(g_state.rx_skip, 0);
  EXPECT_TRUE(ReadBufferZero());
  CloseLink();
}

TEST_F(LinkTest, ThePlatformFamilyChoosesTheWritePathAtEveryOpen) {
  struct Case {
    int platform_id;
    int os_family;
    int overlapped_writes;
  };
  // An unknown family keeps what an earlier open found.
  const Case cases[] = {{0, 0, 0}, {2, 40, 1}, {7, 40, 1}, {1, 98, 0}, {0, 98, 0}};
  for (const Case& c : cases) {
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
