// The termios serial port on pseudo-terminals: exclusive opening, line settings, the read and
// write time-out rules, purging, and a far end that goes away.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <memory>
#include <thread>

#include "platform/posix/posix_serial_port.h"
#include "pseudo_terminal.h"

namespace {

constexpr int kLine = 5;  // COM5 is pointed at the test's pseudo-terminal

class PosixSerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    descriptors_ = OpenDescriptorCount();
    ComPortMap ports;
    ports.Set(kLine, far_.path());
    ports.Set(6, "/nonexistent/tty-of-no-one");
    ports.Set(7, "/dev/null");
    port_ = std::make_unique<PosixSerialPort>(ports);
  }
  void TearDown() override {
    port_.reset();
    const int far_end_closed = far_.hung_up() ? 1 : 0;
    EXPECT_EQ(OpenDescriptorCount(), descriptors_ - far_end_closed) << "a descriptor leaked";
  }

  // Opens the test's line at 9600 baud.
  PortHandle OpenLine() {
    const PortHandle handle = port_->Open(kLine);
    EXPECT_NE(handle, kInvalidPort);
    EXPECT_EQ(port_->SetBaud(handle, 9600), 1);
    return handle;
  }

  PseudoTerminal far_;
  std::unique_ptr<PosixSerialPort> port_;
  int descriptors_ = 0;
};

TEST_F(PosixSerialPortTest, OpenFailsCleanlyWithoutADeviceOrWhenThePortIsHeld) {
  EXPECT_EQ(port_->Open(6), kInvalidPort);  // no such device
  EXPECT_EQ(port_->Open(7), kInvalidPort);  // not a terminal
  EXPECT_EQ(port_->Open(0), kInvalidPort);  // no such port number
  EXPECT_EQ(OpenDescriptorCount(), descriptors_);

  // Held by this port, by another monitor, and by another program that locks the device.
  const PortHandle held = port_->Open(kLine);
  ASSERT_NE(held, kInvalidPort);
  const int with_one_open = OpenDescriptorCount();
  EXPECT_EQ(port_->Open(kLine), kInvalidPort);
  ComPortMap same;
  same.Set(1, far_.path());
  PosixSerialPort other_monitor(same);
  EXPECT_EQ(other_monitor.Open(1), kInvalidPort);
  EXPECT_EQ(OpenDescriptorCount(), with_one_open);
  port_->Close(held);

  const int other_program = open(far_.path().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(other_program, 0);
  ASSERT_EQ(flock(other_program, LOCK_EX | LOCK_NB), 0);
  EXPECT_EQ(port_->Open(kLine), kInvalidPort);
  close(other_program);

  // Once released, the port opens again.
  const PortHandle again = other_monitor.Open(1);
  EXPECT_NE(again, kInvalidPort);
  other_monitor.Close(again);
}

TEST_F(PosixSerialPortTest, EachRateAppliesWithRaw8N1AndNoFlowControl) {
  const PortHandle handle = port_->Open(kLine);
  ASSERT_NE(handle, kInvalidPort);
  const std::pair<std::uint32_t, speed_t> rates[] = {
      {9600, B9600}, {19200, B19200}, {38400, B38400}};
  for (const auto& [baud, speed] : rates) {
    ASSERT_EQ(port_->SetBaud(handle, baud), 1) << baud;
    termios t{};
    ASSERT_EQ(tcgetattr(static_cast<int>(handle), &t), 0);
    EXPECT_EQ(cfgetispeed(&t), speed) << baud;
    EXPECT_EQ(cfgetospeed(&t), speed) << baud;
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ISTRIP | ICRNL | INPCK), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
  }
  // Bytes that a terminal would otherwise rewrite pass unchanged.
  const Bytes binary = {0x0D, 0x0A, 0x03, 0x11, 0x13, 0x7F, 0xFF, 0x00};
  far_.Send(binary);
  ASSERT_TRUE(WaitForWaiting(port_.get(), handle, 8));
  Bytes got(8);
  EXPECT_EQ(port_->Read(handle, got.data(), 8), 8);
  EXPECT_EQ(got, binary);
  port_->Close(handle);
}

TEST_F(PosixSerialPortTest, ARefusedRateClosesThePort) {
  const PortHandle handle = port_->Open(kLine);
  ASSERT_NE(handle, kInvalidPort);
  EXPECT_EQ(port_->SetBaud(handle, 12345), 0);
  EXPECT_EQ(OpenDescriptorCount(), descriptors_);
  std::uint8_t byte = 0;
  EXPECT_EQ(port_->Read(handle, &byte, 1), -1);
  const PortHandle again = port_->Open(kLine);  // nothing holds it any more
  EXPECT_NE(again, kInvalidPort);
  port_->Close(again);
}

TEST_F(PosixSerialPortTest, AReadEndsAtItsTimeOutWithTheBytesThatCame) {
  const PortHandle handle = OpenLine();
  std::uint8_t buffer[64] = {};

  // Nothing comes: 0 bytes, not a failure, after about 3 * 20 + 10 ms.
  double start = NowMs();
  EXPECT_EQ(port_->Read(handle, buffer, 20), 0);
  double took = NowMs() - start;
  EXPECT_GE(took, 69.0);
  EXPECT_LT(took, 400.0);

  // Fewer than asked for: those, when the time is up.
  far_.Send({1, 2, 3, 4, 5});
  ASSERT_TRUE(WaitForWaiting(port_.get(), handle, 5));
  start = NowMs();
  EXPECT_EQ(port_->Read(handle, buffer, 20), 5);
  EXPECT_GE(NowMs() - start, 69.0);
  EXPECT_EQ(Bytes(buffer, buffer + 5), Bytes({1, 2, 3, 4, 5}));

  // Bytes that arrive while the read waits count, and the read ends once it has them all.
  std::thread sender([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    far_.Send({6, 7, 8});
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    far_.Send({9, 10});
  });
  EXPECT_EQ(port_->Read(handle, buffer, 5), 5);
  sender.join();
  EXPECT_EQ(Bytes(buffer, buffer + 5), Bytes({6, 7, 8, 9, 10}));
  port_->Close(handle);
}

TEST_F(PosixSerialPortTest, AReadTakesWhatItAskedForAndLeavesTheRestQueued) {
  const PortHandle handle = OpenLine();
  Bytes sent(30);
  for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<std::uint8_t>(i);
  far_.Send(sent);
  ASSERT_TRUE(WaitForWaiting(port_.get(), handle, 30));
  std::uint8_t buffer[30] = {};
  EXPECT_EQ(port_->Read(handle, buffer, 10), 10);
  EXPECT_EQ(Bytes(buffer, buffer + 10), Bytes(sent.begin(), sent.begin() + 10));
  EXPECT_EQ(port_->WaitingCount(handle), 20);
  EXPECT_EQ(port_->Read(handle, buffer, 20), 20);
  EXPECT_EQ(Bytes(buffer, buffer + 20), Bytes(sent.begin() + 10, sent.end()));
  port_->Close(handle);
}

TEST_F(PosixSerialPortTest, PurgeAndEveryWriteDiscardUnreadInput) {
  const PortHandle handle = OpenLine();
  far_.Send({1, 2, 3, 4, 5});
  ASSERT_TRUE(WaitForWaiting(port_.get(), handle, 5));
  port_->Purge(handle);
  EXPECT_EQ(port_->WaitingCount(handle), 0);

  const Bytes probe = {0x41, 0x42, 0x43};
  for (int path = 0; path < 2; ++path) {
    far_.Send({7, 7, 7});
    ASSERT_TRUE(WaitForWaiting(port_.get(), handle, 3));
    const int written = path == 0 ? port_->WritePlain(handle, probe.data(), 3)
                                  : port_->WriteOverlapped(handle, probe.data(), 3);
    EXPECT_EQ(written, 3);
    EXPECT_EQ(port_->WaitingCount(handle), 0) << "write path " << path;
    EXPECT_EQ(far_.Receive(500, 3), probe);
  }
  port_->Close(handle);
}

TEST_F(PosixSerialPortTest, AStaleHandleIsNeverUsed) {
  const PortHandle handle = OpenLine();
  port_->Close(handle);
  // The process gives the number to the next file it opens.
  const int unrelated = open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(unrelated, 0);
  std::uint8_t byte = 0;
  port_->Close(unrelated);
  port_->Close(handle);
  port_->Purge(unrelated);
  EXPECT_EQ(port_->Read(unrelated, &byte, 1), -1);
  EXPECT_EQ(port_->WritePlain(unrelated, &byte, 1), -1);
  EXPECT_EQ(port_->SetBaud(unrelated, 9600), 0);
  EXPECT_EQ(port_->WaitingCount(unrelated), 0);
  EXPECT_NE(fcntl(unrelated, F_GETFD), -1) << "the unrelated file was closed";
  close(unrelated);
}

TEST_F(PosixSerialPortTest, TheFarEndGoingAwayEndsAReadAndLaterCallsFailQuietly) {
  const PortHandle handle = OpenLine();
  std::thread hangup([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    far_.Hangup();
  });
  std::uint8_t buffer[300] = {};
  const double start = NowMs();
  const int n = port_->Read(handle, buffer, 300);  // would wait 910 ms for bytes
  const double took = NowMs() - start;
  hangup.join();
  EXPECT_EQ(n, 0);
  EXPECT_LT(took, 600.0) << "the read should end with the line, not at its time-out";

  // A read that begins on a dead line is refused; nothing hangs or crashes.
  EXPECT_EQ(port_->Read(handle, buffer, 100), -1);
  EXPECT_EQ(port_->WaitingCount(handle), -1) << "a dead line cannot tell what waits";
  EXPECT_EQ(port_->WritePlain(handle, buffer, 3), -1);
  port_->Purge(handle);
  port_->Close(handle);
}

TEST_F(PosixSerialPortTest, ClosingGivesUpTheExclusiveClaimOnTheDevice) {
  // Someone else has the device open before the monitor and keeps it after.
  const int bystander = open(far_.path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(bystander, 0);
  const PortHandle handle = OpenLine();
  int exclusive = 0;
  ASSERT_EQ(ioctl(static_cast<int>(handle), TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 1);
  port_->Close(handle);
  ASSERT_EQ(ioctl(bystander, TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0) << "ordinary users could not open the device any more";
  close(bystander);
}

}  // namespace
