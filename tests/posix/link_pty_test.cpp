// The link over a real pseudo-terminal, with the test playing the receiver: read_buffer is zero
// after every link operation, closing is harmless however often it runs, and the reply to the
// probe decides whether the receiver echoes.
#include <algorithm>
#include <cstring>
#include <thread>

#include "app/monitor_state.h"
#include "serial/link.h"
#include "support.h"

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
  void SetUp() override { descriptors_ = OpenDescriptorCount(); }
  void TearDown() override {
    monitor_.reset();
    EXPECT_EQ(OpenDescriptorCount(), descriptors_) << "a descriptor leaked";
  }

  PseudoTerminal far_;
  std::unique_ptr<MonitorOnLine> monitor_ = std::make_unique<MonitorOnLine>(far_.path());
  int descriptors_ = 0;
};

TEST_F(LinkOverPtyTest, OpenAndCloseAtEachRateLeaveTheReadBufferZeroAndCloseRunsAnyNumberOfTimes) {
  for (int index = 0; index < kBaudRateCount; ++index) {
    g_state.baud_index = index;
    SoilReadBuffer();
    ASSERT_EQ(OpenLink(), 1);
    EXPECT_TRUE(ReadBufferZero());
    SoilReadBuffer();
    for (int i = 0; i < 3; ++i) CloseLink();
    EXPECT_TRUE(ReadBufferZero());
    EXPECT_EQ(g_state.port_open, 0);
    EXPECT_EQ(OpenDescriptorCount(), descriptors_);
  }
}

TEST_F(LinkOverPtyTest, TheReceiversReplyToTheProbeDecidesTheSkip) {
  Bytes long_echo = kProbe;
  long_echo.resize(23, 0xC0);
  const std::pair<Bytes, int> replies[] = {
      {kProbe, 5},    {{}, 0}, {{0x41, 0x42}, 0}, {{0x0D, 0x41, 0x42, 0x43}, 0},
      {long_echo, 5},  // 18 bytes or more, starting with the echo
  };
  for (const auto& [reply, rx_skip] : replies) {
    SCOPED_TRACE("reply of " + std::to_string(reply.size()) + " bytes");
    ASSERT_EQ(OpenLink(), 1);
    // Something left over from before the probe must not pass for a reply.
    far_.Send(kProbe);
    ASSERT_TRUE(WaitForWaiting(monitor_->port(), g_state.port_handle, 3));
    Bytes probe;
    std::thread receiver([&] {
      probe = far_.Receive(1000, 3);
      if (!reply.empty()) far_.Send(reply);
    });
    g_state.rx_skip = 99;
    SoilReadBuffer();
    ProbeLink();
    receiver.join();
    EXPECT_EQ(probe, kProbe);
    EXPECT_EQ(g_state.rx_skip, rx_skip);
    EXPECT_TRUE(ReadBufferZero());
    EXPECT_EQ(monitor_->port()->WaitingCount(g_state.port_handle), 0) << "the rest is purged";
    CloseLink();
  }
}

}  // namespace
