// The link over a real pseudo-terminal, with the test playing the receiver: read_buffer is zero
// after every link operation, closing is harmless however often it runs, and the reply to the
// probe decides whether the receiver echoes.
#include <algorithm>
#include <cstring>
#include <thread>

#include "app/platform.h"
#include "platform/posix/posix_clock.h"
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

// The monitor wired to the Linux serial port and clock, COM1 being the test's line.
class LinkOverPtyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    descriptors_ = OpenDescriptorCount();
    ComPortMap ports;
    ports.Set(1, far_.path());
    port_ = std::make_unique<PosixSerialPort>(ports);
    ResetMonitorState();
    g_platform = Platform{};
    g_platform.port = port_.get();
    g_platform.clock = &clock_;
    g_state.port_number = 1;
  }
  void TearDown() override {
    CloseLink();
    g_platform = Platform{};
    port_.reset();
    EXPECT_EQ(OpenDescriptorCount(), descriptors_) << "a descriptor leaked";
  }

  PseudoTerminal far_;
  PosixClock clock_;
  std::unique_ptr<PosixSerialPort> port_;
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
      {kProbe, 5},
      {{}, 0},
      {{0x41, 0x42}, 0},
      {{0x41, 0x42, 0x44, 0x43}, 0},
      {{0x0D, 0x41, 0x42, 0x43}, 0},
      {long_echo, 5},  // 18 bytes or more, starting with the echo
  };
  for (const auto& [reply, rx_skip] : replies) {
    SCOPED_TRACE("reply of " + std::to_string(reply.size()) + " bytes");
    ASSERT_EQ(OpenLink(), 1);
    // Something left over from before the probe must not pass for a reply.
    far_.Send(kProbe);
    ASSERT_TRUE(WaitForWaiting(port_.get(), g_state.port_handle, 3));
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
    EXPECT_EQ(port_.get()->WaitingCount(g_state.port_handle), 0) << "the rest is purged";
    CloseLink();
  }
}

}  // namespace
