// The Windows serial port against Wine's serial driver on pseudo-terminals: the test script
// joins COM7 to COM12 (a number above 9, which needs the device namespace form), and leads COM4
// to no device. Ports that cannot be opened or set up are met by the end-to-end driver.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/win32/win32_serial_port.h"

namespace {

class SerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port_ = serial_.Open(7);
    peer_ = serial_.Open(12);
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
    const int count = static_cast<int>(bytes.size());
    ASSERT_EQ(serial_.WritePlain(peer_, bytes.data(), static_cast<std::uint32_t>(count)), count);
    for (int i = 0; i < 100 && serial_.WaitingCount(port_) < count; ++i) Sleep(10);
    ASSERT_EQ(serial_.WaitingCount(port_), count);
  }

  Win32SerialPort serial_;
  PortHandle port_ = kInvalidPort;
  PortHandle peer_ = kInvalidPort;
};

TEST_F(SerialPortTest, ReadTakesWhatWaitsAndEndsAtItsTimeOutWithWhatCameOrNothing) {
  // Wine ends a read that gets nothing with ERROR_TIMEOUT: 0 bytes all the same, every time.
  std::uint8_t buf[32] = {};
  EXPECT_EQ(serial_.Read(port_, buf, 10), 0);
  EXPECT_EQ(serial_.Read(port_, buf, 1), 0);
  Deliver({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
  ASSERT_EQ(serial_.Read(port_, buf, 9), 9);
  EXPECT_EQ(buf[8], 9);
  EXPECT_EQ(serial_.WaitingCount(port_), 3);
  ASSERT_EQ(serial_.Read(port_, buf, 20), 3);
  EXPECT_EQ(buf[2], 12);
  EXPECT_EQ(serial_.LostInput(port_), 0);  // the driver lost nothing
}

TEST_F(SerialPortTest, PurgeAndBothWritePathsDiscardUnreadInput) {
  Deliver({1, 2, 3, 4});
  serial_.Purge(port_);
  EXPECT_EQ(serial_.WaitingCount(port_), 0);
  const std::uint8_t probe[3] = {'A', 'B', 'C'};
  for (bool overlapped : {true, false}) {
    SCOPED_TRACE(overlapped ? "overlapped" : "plain");
    Deliver({0xCC, 0xDD});
    EXPECT_EQ(
        overlapped ? serial_.WriteOverlapped(port_, probe, 3) : serial_.WritePlain(port_, probe, 3),
        3);
    EXPECT_EQ(serial_.WaitingCount(port_), 0);
    for (int i = 0; i < 100 && serial_.WaitingCount(peer_) < 3; ++i) Sleep(10);
    std::uint8_t got[3] = {};
    ASSERT_EQ(serial_.Read(peer_, got, 3), 3);
    EXPECT_EQ(std::vector<std::uint8_t>(got, got + 3), std::vector<std::uint8_t>(probe, probe + 3));
  }
}

// Wine keeps the name of a device that has gone: the port opens, and then every call fails, as
// the communication functions do once a USB adapter is unplugged. Those failures are a failed
// waiting count and a refused read, which make the monitor let the port go.
TEST(SerialPortGoneTest, APortWhoseDeviceHasGoneCannotTellWhatWaitsAndRefusesReads) {
  Win32SerialPort serial;
  const PortHandle gone = serial.Reopen(4);
  ASSERT_NE(gone, kInvalidPort);
  std::uint8_t buf[16] = {};
  EXPECT_EQ(serial.WaitingCount(gone), -1);
  EXPECT_EQ(serial.Read(gone, buf, 9), -1);
  EXPECT_EQ(serial.LostInput(gone), 0);
  serial.Close(gone);
  EXPECT_EQ(serial.WaitingCount(gone), 0) << "a closed handle is left alone";
}

}  // namespace
