// The termios serial port on pseudo-terminals: exclusive opening, line settings, the read and
// write time-out rules, purging, and a far end that goes away.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <thread>

#include "support.h"

namespace {

constexpr int kLine = 5;  // COM5 is pointed at the test's pseudo-terminal

// Waits until the port reports at least count bytes waiting (bytes written to a pseudo-terminal
// reach the other side a moment later). False after a second.
bool WaitForWaiting(SerialPort* port, PortHandle handle, int count) {
  return WaitUntil([&] { return port->WaitingCount(handle) >= count; }, 1000, 1);
}

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
    EXPECT_EQ(OpenDescriptorCount(), descriptors_ - (far_.hung_up() ? 1 : 0)) << "a leak";
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

TEST_F(PosixSerialPortTest, OpenFailsCleanlyWithoutADeviceWhenThePortIsHeldOrCannotBeSetUp) {
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

  // A rate the line refuses closes the port, which then opens again.
  const PortHandle refused = port_->Open(kLine);
  ASSERT_NE(refused, kInvalidPort);
  EXPECT_EQ(port_->SetBaud(refused, 12345), 0);
  EXPECT_EQ(OpenDescriptorCount(), descriptors_);
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
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), static_cast<tcflag_t>(CS8));
  }
  // Bytes that a terminal would otherwise rewrite or act on pass unchanged.
  const Bytes binary = {0x0D, 0x0A, 0x03, 0x11, 0x13, 0x7F, 0xFF, 0x00};
  far_.Send(binary);
  ASSERT_TRUE(WaitForWaiting(port_.get(), handle, 8));
  Bytes got(8);
  EXPECT_EQ(port_->Read(handle, got.data(), 8), 8);
  EXPECT_EQ(got, binary);
  port_->Close(handle);
}

// A read of N bytes may wait 3N + 10 ms. Whether one ended by its count or at its time-out shows
// only in how long it took, so reads that must end early ask for enough bytes that their time-out
// is far beyond what the bytes need to arrive, even on a loaded machine with the sanitizers.
TEST_F(PosixSerialPortTest, AReadEndsWithItsCountOrAtItsTimeOutWithTheBytesThatCame) {
  const PortHandle handle = OpenLine();
  std::uint8_t buffer[300] = {};

  // Nothing comes: 0 bytes, not a failure, once the time-out of 3 * 20 + 10 ms is over; fewer
  // than asked for: those, at the same time.
  for (const Bytes& sent : {Bytes{}, Bytes{1, 2, 3, 4, 5}}) {
    far_.Send(sent);
    ASSERT_TRUE(WaitForWaiting(port_.get(), handle, static_cast<int>(sent.size())));
    const double start = NowMs();
    EXPECT_EQ(port_->Read(handle, buffer, 20), static_cast<int>(sent.size()));
    EXPECT_GE(NowMs() - start, 69.0);
    EXPECT_EQ(Bytes(buffer, buffer + sent.size()), sent);
  }

  // Bytes that arrive while the read waits count, and the read ends once it has them all.
  std::thread sender([this] {
    for (std::uint8_t part = 0; part < 2; ++part) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      far_.Send(Bytes(150, part));
    }
  });
  double start = NowMs();
  EXPECT_EQ(port_->Read(handle, buffer, 300), 300);
  EXPECT_LT(NowMs() - start, 910.0) << "ended at its time-out, not with its count";
  sender.join();
  EXPECT_EQ(buffer[149], 0);
  EXPECT_EQ(buffer[150], 1);

  // N or more waiting: N at once, and the rest stays queued.
  far_.Send(Bytes(300, 0x55));
  ASSERT_TRUE(WaitForWaiting(port_.get(), handle, 300));
  start = NowMs();
  EXPECT_EQ(port_->Read(handle, buffer, 200), 200);
  EXPECT_LT(NowMs() - start, 610.0) << "waited for its time-out with the bytes there";
  EXPECT_EQ(port_->WaitingCount(handle), 100);
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

TEST_F(PosixSerialPortTest, TheFarEndGoingAwayEndsAReadAndLaterCallsFailQuietly) {
  const PortHandle handle = OpenLine();
  std::thread hangup([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    far_.Hangup();
  });
  std::uint8_t buffer[300] = {};
  const double start = NowMs();
  EXPECT_EQ(port_->Read(handle, buffer, 300), 0);  // would wait 910 ms for bytes
  EXPECT_LT(NowMs() - start, 910.0) << "the read should end with the line, not at its time-out";
  hangup.join();
  // A read that begins on a dead line is refused; nothing hangs or crashes.
  EXPECT_EQ(port_->Read(handle, buffer, 100), -1);
  EXPECT_EQ(port_->WaitingCount(handle), -1) << "a dead line cannot tell what waits";
  EXPECT_EQ(port_->LostInput(handle), 0) << "a pseudo-terminal counts no overruns";
  EXPECT_EQ(port_->WritePlain(handle, buffer, 3), -1);
  port_->Purge(handle);
  port_->Close(handle);
}

TEST_F(PosixSerialPortTest, ALossIsToldOnceAndReopeningIsQuietFollowsThePathAndKeepsTheInput) {
  ScratchDirectory dir;
  const std::string link = dir.File("receiver");  // as a /dev/serial/by-id name would be
  ASSERT_EQ(symlink(far_.path().c_str(), link.c_str()), 0);
  ComPortMap ports;
  ports.Set(8, link);
  PosixSerialPort port(ports);
  std::vector<PortLoss> losses;
  int failed_opens = 0;
  port.SetLossListener([&losses](const PortLoss& loss) { losses.push_back(loss); });
  port.SetOpenFailureListener([&failed_opens](const OpenFailure&) { ++failed_opens; });
  std::uint8_t buffer[16] = {};

  PortHandle handle = port.Open(8);
  ASSERT_EQ(port.SetBaud(handle, 9600), 1);
  far_.Hangup();  // the adapter is unplugged: its device node and name go with it
  ASSERT_EQ(unlink(link.c_str()), 0);
  EXPECT_EQ(port.WaitingCount(handle), -1);
  EXPECT_EQ(port.Read(handle, buffer, 9), -1);
  EXPECT_EQ(port.WaitingCount(handle), -1);
  ASSERT_EQ(losses.size(), 1u) << "told once however often the port is asked";
  EXPECT_EQ(losses[0].path, link);
  EXPECT_EQ(losses[0].error, EIO);
  EXPECT_TRUE(losses[0].node_gone);
  port.Close(handle);

  // While it is away a reopening fails quietly; the operator's open tells why.
  EXPECT_EQ(port.Reopen(8), kInvalidPort);
  EXPECT_EQ(failed_opens, 0);
  EXPECT_EQ(port.Open(8), kInvalidPort);
  EXPECT_EQ(failed_opens, 1);

  // Plugged in again under another device node that the same name leads to. A device that
  // fails before it has answered once is still the same loss; one that has answered is lost
  // anew. What it sent before the reopening is kept.
  for (int round = 0; round < 2; ++round) {
    PseudoTerminal again;
    ASSERT_EQ(symlink(again.path().c_str(), link.c_str()), 0);
    if (round == 1) again.Send({0x41, 0x42});
    handle = port.Reopen(8);
    ASSERT_NE(handle, kInvalidPort);
    ASSERT_EQ(port.SetBaud(handle, 9600), 1);
    if (round == 1) {
      ASSERT_TRUE(WaitForWaiting(&port, handle, 2));
      EXPECT_EQ(port.Read(handle, buffer, 2), 2);
      EXPECT_EQ(Bytes(buffer, buffer + 2), Bytes({0x41, 0x42}));
    }
    again.Hangup();
    ASSERT_EQ(unlink(link.c_str()), 0);
    EXPECT_EQ(port.WaitingCount(handle), -1);
    EXPECT_EQ(losses.size(), 1u + static_cast<std::size_t>(round));
    port.Close(handle);
  }
  EXPECT_EQ(failed_opens, 1);
}

TEST_F(PosixSerialPortTest, ClosingGivesUpTheExclusiveClaimOnTheDevice) {
  // Someone else has the device open before the monitor and keeps it after.
  const int bystander = open(far_.path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(bystander, 0);
  port_->Close(OpenLine());
  int exclusive = 1;
  ASSERT_EQ(ioctl(bystander, TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0) << "ordinary users could not open the device any more";
  close(bystander);
}

}  // namespace
