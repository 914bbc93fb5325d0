// A port that stops answering during a run: one error line for the outage, nothing from the
// polls while the device is away, and the same run going on once it is back; the operator's
// commands at any time of it.
#include <functional>

#include "app/platform.h"
#include "app/poll_cycle.h"
#include "app/resource_ids.h"
#include "support/fixture.h"

namespace {

// How the device goes away and how it stays away.
struct Outage {
  const char* name;
  bool read_refused;  // a read fails (else the waiting count does)
  bool name_stays;    // the port still opens, then fails at once (a driver that keeps the name)
};

const Outage kOutages[] = {
    {"line gone, device missing", false, false},
    {"line gone, name stays", false, true},
    {"read refused, device missing", true, false},
    {"read refused, name stays", true, true},
};

const std::string kErr3 = "log: 00000 -> 09:05:00 -- ERR3,COM PORT READ ERR!";

class PortOutageTest : public CoreTest {
 protected:
  PortOutageTest() {
    heard_.events = &log_.events;
    listener_ = &heard_;
    observer_ = &log_;
  }
  // A new case: a monitor in a run again, nothing heard yet.
  void Fresh() {
    CoreTest::TearDown();
    Restart();
    clock_ = ManualClock();
    log_.events.clear();
    heard_.readings.clear();
    seen_ = 0;
    CoreTest::SetUp();
  }
  void Lose(const Outage& outage) {
    if (!outage.name_stays) port_.SetPresent(1, false);
    if (outage.read_refused) {
      port_.Arrive(Reading(3));
      port_.FailNextRead();
    } else {
      port_.SetLineLost(true);
    }
    PollCycle(hwnd_);
    port_.SetLineLost(true);  // from now on it cannot tell its waiting count either
  }
  void Replug() {
    port_.SetPresent(1, true);
    port_.SetLineLost(false);
  }
  // The events since the last call, without the timer's.
  Lines Since() {
    Lines out;
    for (std::size_t i = seen_; i < log_.events.size(); ++i) {
      if (log_.events[i].find(" timer ") == std::string::npos) out.push_back(log_.events[i]);
    }
    seen_ = log_.events.size();
    return out;
  }
  static Bytes Reading(std::uint8_t id) { return MakeFrame(id, 0x10, 0x0171, 0x01C8); }

  EventLog log_;
  HeardSink heard_;
  std::size_t seen_ = 0;
};

TEST_F(PortOutageTest, OneErrorLineForAnOutageAndTheRunGoesOnWhenTheDeviceIsBack) {
  for (const Outage& outage : kOutages) {
    SCOPED_TRACE(outage.name);
    Fresh();
    const Bytes frame = Reading(0);
    port_.Arrive(Concat({frame, frame}));
    PollCycle(hwnd_);
    FillRx(Bytes(frame.begin(), frame.begin() + 4));  // a frame begun before the loss
    Since();

    Lose(outage);
    EXPECT_EQ(Since(), Lines({kErr3, "beep 48", "port lost"}));
    EXPECT_EQ(g_state.rx_length, 0) << "the half frame is dropped";
    EXPECT_EQ(port_.OpenPorts(), 0);

    // Ten polls of absence: each tries the port and leaves nothing open or said.
    const int reopens = port_.ReopenCalls();
    for (int poll = 0; poll < 10; ++poll) {
      clock_.Advance(200);
      PollCycle(hwnd_);
      EXPECT_EQ(port_.OpenPorts(), 0);
    }
    EXPECT_EQ(port_.ReopenCalls(), reopens + 10);
    EXPECT_EQ(Since(), Lines{});

    // Back, with the rest of the old frame and a reading already sent: the rest is stray bytes
    // of their own, the reading goes on with its sensor's number and shows the whole gap.
    Replug();
    port_.Arrive(Concat({Bytes(frame.begin() + 4, frame.end()), frame}));
    clock_.Advance(200);
    PollCycle(hwnd_);
    const Lines back = Since();
    ASSERT_EQ(back.size(), 8u) << ::testing::PrintToString(back);
    EXPECT_EQ(back[0], "port back 2200");  // 11 polls from the loss
    EXPECT_EQ(back[3], "log: 00001 -> 09:05:02 -- ERR1,L=5,D:01-C8-01-B5-DD-");
    EXPECT_EQ(back[7].substr(0, 12), "panel 0: 002");
    ASSERT_EQ(heard_.readings.size(), 3u);
    EXPECT_EQ(heard_.readings[2].interval_ms, heard_.readings[2].tick - heard_.readings[1].tick);
    EXPECT_GT(heard_.readings[2].interval_ms, 2200u);
    EXPECT_EQ(g_state.good_frames, 3);
    EXPECT_EQ(port_.Writes().size(), 1u) << "the probe is not repeated";
  }
}

// A command during an outage, and what the monitor does afterwards once the device is back.
struct DuringOutage {
  const char* name;
  std::function<void()> command;
  std::string menu;  // afterwards: open, close, start, stop, settings, exit
  bool start_after;  // the operator starts a run again
  int back_events;   // "port back" once the device is back
};

TEST_F(PortOutageTest, EveryCommandWorksDuringAnOutageAndTheLinkKeepsItsPortAndRate) {
  const DuringOutage cases[] = {
      {"close", [this] { Command(CMD_CLOSE); }, "+---++", false, 0},
      {"stop, start", [this] { Command(CMD_STOP); }, "-++-++", true, 1},
      // The new port and rate take effect at the next open; the outage keeps the old ones.
      {"settings COM2 38400, start",
       [this] {
         Settings([](MemoryDialog& d) {
           d.Click(IDC_COM1 + 1);
           d.Click(IDC_BAUD_9600 + 2);
           return IDC_CONFIRM;
         });
       },
       "-++-++", true, 1},
  };
  for (const DuringOutage& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh();
    Lose(kOutages[0]);
    Run(1000);
    Since();
    c.command();
    EXPECT_EQ(MenuRow(), c.menu);
    EXPECT_EQ(port_.OpenPorts(), 0);
    const int reopens = port_.ReopenCalls();
    Replug();
    Run(1000);
    EXPECT_EQ(port_.ReopenCalls(), reopens) << "nothing polls without a run";
    if (c.start_after) Command(CMD_START);
    Run(1000);
    EXPECT_EQ(port_.OpenPorts(), c.back_events);
    EXPECT_EQ(std::count(log_.events.begin(), log_.events.end(), "port lost"), 1);
    EXPECT_EQ(std::count_if(log_.events.begin(), log_.events.end(),
                            [](const std::string& e) { return e.rfind("port back", 0) == 0; }),
              c.back_events);
    if (c.back_events == 1) {
      EXPECT_EQ(port_.LastOpenedPortNumber(), 1);
      EXPECT_EQ(port_.Baud(), 9600u);
    }
  }
  // The exit, also during an outage, ends the program with nothing left open.
  Fresh();
  Lose(kOutages[1]);
  Command(CMD_EXIT);
  EXPECT_TRUE(surface_.QuitPosted());
  EXPECT_EQ(port_.OpenPorts(), 0);
}

}  // namespace
