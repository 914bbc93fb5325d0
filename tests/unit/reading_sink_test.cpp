// What a listening front end learns of a run beyond what it shows: the timing of readings with
// ten or more sensors, the start of a run and the export's name. The decoded values and every
// byte of each error are checked through the CSV files made of them (tests/posix).
#include "app/platform.h"
#include "app/poll_cycle.h"
#include "app/resource_ids.h"
#include "support/fixture.h"

namespace {

class ReadingSinkTest : public CoreTest {
 protected:
  ReadingSinkTest() { listener_ = &heard_; }
  HeardSink heard_;
};

TEST_F(ReadingSinkTest, TenOrMoreSensorsGiveTimedReadingsWithoutIntervalOrStateChange) {
  SetSensors("12");
  Command(CMD_START);
  const std::uint32_t before = g_state.sensor_last_tick[3];
  clock_.SetTick(123456);
  port_.Arrive(MakeFrame(3, 0, 0x0100, 0x0200));
  PollCycle(hwnd_);
  ASSERT_EQ(heard_.readings.size(), 1u);
  EXPECT_FALSE(heard_.readings[0].has_interval);
  EXPECT_GE(heard_.readings[0].tick, 123456u);
  EXPECT_EQ(g_state.sensor_last_tick[3], before);
}

TEST_F(ReadingSinkTest, OnlyACompleteExportIsAnnounced) {
  g_state.save_log = 1;
  Command(CMD_STOP);
  ASSERT_EQ(heard_.exports.size(), 1u);
  EXPECT_EQ(heard_.exports[0], g_state.log_file_name);
  Command(CMD_START);
  files_.SetReadOnly(kStartDir, true);
  Command(CMD_STOP);
  EXPECT_EQ(heard_.exports.size(), 1u);
  EXPECT_EQ(heard_.starts, 2);
}

TEST_F(ReadingSinkTest, EveryWayARunEndsIsToldOnceAndNothingElseIsAStop) {
  struct Case {
    const char* name;
    int command;  // CMD_SETTINGS: the dialog, left by its exit button
    int then;     // closing or leaving after the run has ended is no second end
  };
  const Case cases[] = {{"stop", CMD_STOP, CMD_CLOSE},
                        {"close", CMD_CLOSE, CMD_EXIT},
                        {"exit", CMD_EXIT, 0},
                        {"settings", CMD_SETTINGS, CMD_CLOSE}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    heard_.stops = 0;
    Restart();
    CreateWith(4);
    Command(CMD_OPEN);
    Command(CMD_START);
    if (c.command == CMD_SETTINGS) {
      Settings([](MemoryDialog&) { return IDC_EXIT; });
    } else {
      Command(c.command);
    }
    EXPECT_EQ(heard_.stops, 1);
    if (c.then != 0) Command(c.then);
    EXPECT_EQ(heard_.stops, 1);
  }
}

}  // namespace
