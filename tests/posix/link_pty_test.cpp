// The link over a real pseudo-terminal, with the test playing the receiver: the probe crosses
// the line, the reply decides, and closing is harmless however often it runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <thread>

#include "app/monitor_state.h"
#include "app/platform.h"
#include "pseudo_terminal.h"
#include "serial/link.h"

namespace {

const Bytes kProbe = {0x41, 0x42, 0x43};

bool ReadBufferZero() {
  return std::all_of(std::begin(g_state.read_buffer), std::end(g_state.read_buffer),
                     [](std::uint8_t b) { return b == 0; });
}

void SoilReadBuffer() {
  std::memset(g_state.read_buffer, 0x77, sizeof g_state.read_buffer);
}

class LinkOverPtyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    descriptors_ = OpenDescriptorCount();
    monitor_ = std::make_unique<MonitorOnLine>(far_.path());
  }
  void TearDown() override {
    monitor_.reset();
    EXPECT_EQ(OpenDescriptorCount(), descriptors_) << "a descriptor leaked";
  }

  PseudoTerminal far_;
  std::unique_ptr<MonitorOnLine> monitor_;
  int descriptors_ = 0;
};

TEST_F(LinkOverPtyTest, OpenAndCloseLeaveTheReadBufferZeroAndCloseRunsAnyNumberOfTimes) {
  for (int index = 0; index < kBaudRateCount; ++index) {
    g_state.baud_index = index;
    SoilReadBuffer();
    ASSERT_EQ(OpenLink(), 1);
    EXPECT_TRUE(ReadBufferZero());
    EXPECT_EQ(g_state.port_open, 1);
    SoilReadBuffer();
    CloseLink();
    EXPECT_TRUE(ReadBufferZero());
    CloseLink();
    CloseLink();
    EXPECT_EQ(g_state.port_open, 0);
    EXPECT_EQ(OpenDescriptorCount(), descriptors_);
  }
}

struct ProbeCase {
  const char* what;
  Bytes reply;
  int rx_skip;
};

void PrintTo(const ProbeCase& c, std::ostream* os) {
  *os << c.what;
}

class ProbeOverPtyTest : public LinkOverPtyTest, public ::testing::WithParamInterface<ProbeCase> {};

TEST_P(ProbeOverPtyTest, TheReceiversReplyDecidesTheSkip) {
  ASSERT_EQ(OpenLink(), 1);
  // Something left over from before the probe must not pass for a reply.
  far_.Send(kProbe);
  ASSERT_TRUE(WaitForWaiting(monitor_->port(), g_state.port_handle, 3));
  Bytes probe;
  std::thread receiver([this, &probe] {
    probe = far_.Receive(1000, 3);
    if (!GetParam().reply.empty()) far_.Send(GetParam().reply);
  });
  g_state.rx_skip = 99;
  ProbeLink();
  receiver.join();

  EXPECT_EQ(probe, kProbe);
  EXPECT_EQ(g_state.rx_skip, GetParam().rx_skip);
  EXPECT_TRUE(ReadBufferZero());
  EXPECT_EQ(monitor_->port()->WaitingCount(g_state.port_handle), 0)
      << "the rest of the reply is purged";
  CloseLink();
  CloseLink();
}

Bytes LongEcho() {
  Bytes reply = kProbe;
  for (std::uint8_t i = 0; i < 20; ++i) reply.push_back(static_cast<std::uint8_t>(0xC0 + i));
  return reply;
}

INSTANTIATE_TEST_SUITE_P(Replies, ProbeOverPtyTest,
                         ::testing::Values(ProbeCase{"Echo", kProbe, 5}, ProbeCase{"Silent", {}, 0},
                                           ProbeCase{"ABCLater", {0x0D, 0x41, 0x42, 0x43}, 0},
                                           ProbeCase{"LongReplyStartingWithABC", LongEcho(), 5}),
                         [](const ::testing::TestParamInfo<ProbeCase>& param_info) {
                           return std::string(param_info.param.what);
                         });

}  // namespace
