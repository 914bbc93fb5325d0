// The Windows serial port against Wine's serial driver on pseudo-terminals. The test script
// joins COM7 to COM12 (a number above 9, which needs the device namespace form) and leaves
// COM4 leading to no device; COM30 is not mapped at all.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/win32/win32_serial_port.h"

namespace {

constexpr int kPort = 7;
constexpr int kPeerPort = 12;
constexpr int kNoDevicePort = 4;
constexpr int kUnmappedPort = 30;

class SerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port_ = serial_.Open(kPort);
    peer_ = serial_.Open(kPeerPort);
    ASSERT_NE(port_, kInvalidPort) << "COM7 must be mapped to a pseudo-terminal";
    ASSERT_NE(peer_, kInvalidPort) << "COM12 must be mapped to COM7's other end";
    ASSERT_EQ(serial_.SetBaud(port_, 9600), 1);
    ASSERT_EQ(serial_.SetBaud(peer_, 9600), 1);
  }
  void TearDown() override {
    serial_.Close(port_);
    serial_.Close(peer_);
  }

  // Sends from the peer and waits until the bytes wait at the port.
  void Deliver(const std::vector<std::uint8_t>& bytes) {
    ASSERT_EQ(serial_.WritePlain(peer_, bytes.data(), static_cast<std::uint32_t>(bytes.size())),
              static_cast<int>(bytes.size()));
    for (int i = 0; i < 100 && serial_.WaitingCount(port_) < static_cast<int>(bytes.size()); ++i)
      Sleep(10);
    ASSERT_EQ(serial_.WaitingCount(port_), static_cast<int>(bytes.size()));
  }

  Win32SerialPort serial_;
  PortHandle port_ = kInvalidPort;
  PortHandle peer_ = kInvalidPort;
};

TEST_F(SerialPortTest, ReadThatTimesOutWithNothingReadsZeroBytes) {
  // Wine ends such a read with ERROR_TIMEOUT; the result is 0 bytes all the same, and again
  // on the next read.
  std::uint8_t buf[16];
  EXPECT_EQ(serial_.Read(port_, buf, 10), 0);
  EXPECT_EQ(serial_.Read(port_, buf, 1), 0);
}

TEST_F(SerialPortTest, ReadTakesWhatWaitsAndLeavesTheRestQueued) {
  Deliver({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
  std::uint8_t buf[32] = {};
  ASSERT_EQ(serial_.Read(port_, buf, 9), 9);
  EXPECT_EQ(buf[0], 1);
  EXPECT_EQ(buf[8], 9);
  EXPECT_EQ(serial_.WaitingCount(port_), 3);
  // Fewer bytes than asked for: those that came, when the time-out ends.
  ASSERT_EQ(serial_.Read(port_, buf, 20), 3);
  EXPECT_EQ(buf[0], 10);
  EXPECT_EQ(buf[2], 12);
}

TEST_F(SerialPortTest, BothWritePathsDeliverTheBytesAndDiscardUnreadInput) {
  const std::uint8_t probe[3] = {'A', 'B', 'C'};
  for (bool overlapped : {true, false}) {
    Deliver({0xCC, 0xDD});
    const int written =
        overlapped ? serial_.WriteOverlapped(port_, probe, 3) : serial_.WritePlain(port_, probe, 3);
    EXPECT_EQ(written, 3) << (overlapped ? "overlapped" : "plain");
    EXPECT_EQ(serial_.WaitingCount(port_), 0) << "unread input is purged before a write";
    for (int i = 0; i < 100 && serial_.WaitingCount(peer_) < 3; ++i) Sleep(10);
    std::uint8_t got[8] = {};
    ASSERT_EQ(serial_.Read(peer_, got, 3), 3);
    EXPECT_EQ(got[0], 'A');
    EXPECT_EQ(got[2], 'C');
  }
}

TEST_F(SerialPortTest, PurgeEmptiesTheInputQueue) {
  Deliver({1, 2, 3, 4});
  serial_.Purge(port_);
  EXPECT_EQ(serial_.WaitingCount(port_), 0);
  std::uint8_t buf[4];
  EXPECT_EQ(serial_.Read(port_, buf, 4), 0);
}

TEST_F(SerialPortTest, AClosedHandleIsNeverUsedAgain) {
  serial_.Close(port_);
  std::uint8_t buf[4] = {1, 2, 3, 4};
  EXPECT_EQ(serial_.Read(port_, buf, 4), -1);
  EXPECT_EQ(serial_.WriteOverlapped(port_, buf, 4), -1);
  EXPECT_EQ(serial_.WritePlain(port_, buf, 4), -1);
  EXPECT_EQ(serial_.WaitingCount(port_), 0);
  EXPECT_EQ(serial_.SetBaud(port_, 9600), 0);
  serial_.Purge(port_);
  serial_.Close(port_);  // a second close does nothing
  // The port can be opened afresh.
  port_ = serial_.Open(kPort);
  EXPECT_NE(port_, kInvalidPort);
}

TEST(SerialPortOpenTest, APortWithoutDeviceFailsToOpenOrToTakeItsSettings) {
  Win32SerialPort serial;
  EXPECT_EQ(serial.Open(kUnmappedPort), kInvalidPort);
  EXPECT_EQ(serial.Open(-1), kInvalidPort);
  // A mapped port whose device does not exist opens under Wine, but cannot be set up; the
  // failed setting closes it.
  const PortHandle port = serial.Open(kNoDevicePort);
  if (port != kInvalidPort) {
    EXPECT_EQ(serial.SetBaud(port, 9600), 0);
    std::uint8_t buf[1];
    EXPECT_EQ(serial.Read(port, buf, 1), -1) << "the handle is closed after a failed setting";
  }
}

TEST(SerialPortOpenTest, TheSystemIsOfTheNtFamily) {
  Win32SerialPort serial;
  EXPECT_EQ(serial.PlatformId(), 2);
}

}  // namespace
