// The six menu commands: the run states they move between, the menu each leaves, and what a
// start, stop, close or exit does to the panels, counters, timer, port and files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/resource_ids.h"
#include "support/app_fixture.h"

namespace {

const std::string kClosedMenu = "+---++";
const std::string kOpenMenu = "-++-++";
const std::string kRunningMenu = "-+-+++";
const std::string kHeaderTime = ", 开始于:<2006/04/04--09:05:00>";

class MenuCommandsTest : public AppFixture {
 protected:
  void OpenAndStart() {
    Command(CMD_OPEN);
    Command(CMD_START);
  }
};

TEST_F(MenuCommandsTest, EveryTransitionLeavesTheMenuOfItsState) {
  CreateWith(4);
  EXPECT_EQ(MenuRow(), kClosedMenu);
  EXPECT_TRUE(surface_.Messages().size() == 0);

  port_.SetPresent(1, false);
  Command(CMD_OPEN);
  EXPECT_EQ(Boxes(), std::vector<std::string>{"错误提示|端口不存在或出现错误，请重新设置!"});
  EXPECT_EQ(surface_.Messages()[0].type, 48u);
  EXPECT_EQ(MenuRow(), kClosedMenu);
  EXPECT_EQ(g_state.port_open, 0);

  port_.SetPresent(1, true);
  Command(CMD_OPEN);
  EXPECT_EQ(MenuRow(), kOpenMenu);
  EXPECT_EQ(g_state.port_open, 1);
  ASSERT_EQ(port_.Writes().size(), 1u);  // the probe
  EXPECT_FALSE(surface_.TimerArmed(POLL_TIMER_ID));

  Command(CMD_START);
  EXPECT_EQ(MenuRow(), kRunningMenu);
  EXPECT_EQ(g_state.running, 1);
  EXPECT_TRUE(surface_.TimerArmed(POLL_TIMER_ID));
  EXPECT_EQ(surface_.TimerPeriod(POLL_TIMER_ID), 200u);

  Command(CMD_STOP);
  EXPECT_EQ(MenuRow(), kOpenMenu);
  EXPECT_EQ(g_state.running, 0);
  EXPECT_FALSE(surface_.TimerArmed(POLL_TIMER_ID));

  // Settings during a run end it without redrawing the menu bar.
  Command(CMD_START);
  const int draws = surface_.MenuBarDraws();
  Settings([](MemoryDialog&) { return IDC_EXIT; });
  EXPECT_EQ(MenuRow(), kOpenMenu);
  EXPECT_EQ(g_state.running, 0);
  EXPECT_FALSE(surface_.TimerArmed(POLL_TIMER_ID));
  EXPECT_EQ(surface_.MenuBarDraws(), draws);

  // Settings with the port open or closed keep the state.
  Settings([](MemoryDialog&) { return IDC_CONFIRM; });
  EXPECT_EQ(MenuRow(), kOpenMenu);

  Command(CMD_CLOSE);
  EXPECT_EQ(MenuRow(), kClosedMenu);
  EXPECT_EQ(port_.OpenPorts(), 0);
  Settings([](MemoryDialog&) { return IDC_CONFIRM; });
  EXPECT_EQ(MenuRow(), kClosedMenu);

  // Close during a run.
  OpenAndStart();
  g_state.good_frames = 5;
  Command(CMD_CLOSE);
  EXPECT_EQ(MenuRow(), kClosedMenu);
  EXPECT_EQ(g_state.running, 0);
  EXPECT_EQ(g_state.good_frames, 0);
  EXPECT_FALSE(surface_.TimerArmed(POLL_TIMER_ID));
  EXPECT_EQ(port_.CallsOnClosedHandles(), 0);
}

TEST_F(MenuCommandsTest, ExitDuringARunClosesTheLinkSavesTheSettingsAndEndsWithoutExport) {
  CreateWith(4, /*save=*/1);
  OpenAndStart();
  Command(CMD_EXIT);
  EXPECT_TRUE(surface_.QuitPosted());
  EXPECT_EQ(surface_.QuitCode(), 0);
  EXPECT_FALSE(surface_.IsAlive(hwnd_));
  EXPECT_EQ(port_.OpenPorts(), 0);
  EXPECT_EQ(port_.CallsOnClosedHandles(), 0);
  EXPECT_EQ(files_.Bytes("wscfg.cfg"), (std::vector<std::uint8_t>{1, 0, 1, 4}));
  EXPECT_EQ(files_.FilesIn(kStartDir).size(), 1u);  // the configuration alone
  EXPECT_TRUE(surface_.Messages().empty());
}

TEST_F(MenuCommandsTest, StartWritesOneHeaderPerPanelAndResetsTheBoxes) {
  CreateWith(4);
  surface_.AddString(g_state.error_log_box, "old error");
  OpenAndStart();
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(PanelLines(i), std::vector<std::string>{"sensor" + std::to_string(i) + kHeaderTime});
  }
  EXPECT_EQ(Only(g_state.good_count_box), "0000");
  EXPECT_EQ(Only(g_state.bad_count_box), "0000");
  EXPECT_EQ(Only(g_state.error_ratio_box), "00.00%");
  EXPECT_TRUE(LogLines().empty());
  // The first poll comes 200 ms later.
  EXPECT_EQ(surface_.TimerDue(clock_.TickCount() + 199), -1);
  EXPECT_EQ(surface_.TimerDue(clock_.TickCount() + 200), POLL_TIMER_ID);
}

TEST_F(MenuCommandsTest, StartEmptiesOnlyTheWatchedSensorsPanels) {
  CreateWith(3);  // four panels
  OpenAndStart();
  Command(CMD_STOP);
  Command(CMD_START);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(PanelLines(i).size(), 1u) << "panel " << i;
  EXPECT_EQ(PanelLines(3), std::vector<std::string>(2, "sensor3" + kHeaderTime));
}

TEST_F(MenuCommandsTest, StartWithTenOrMoreSensorsWritesNoHeaderAndDoesNotPurge) {
  CreateWith(12);  // fifteen panels
  Command(CMD_OPEN);
  surface_.AddString(g_state.panel_boxes[0], "old 0");
  surface_.AddString(g_state.panel_boxes[12], "old 12");
  g_state.sensor_prev_tick[0] = 1234;
  const int purges = port_.PurgeCalls();

  Command(CMD_START);
  EXPECT_TRUE(PanelLines(0).empty());
  EXPECT_TRUE(PanelLines(11).empty());
  EXPECT_EQ(PanelLines(12), std::vector<std::string>{"old 12"});
  EXPECT_EQ(port_.PurgeCalls(), purges);
  EXPECT_EQ(g_state.sensor_prev_tick[0], 1234u);
  EXPECT_TRUE(surface_.TimerArmed(POLL_TIMER_ID));
}

TEST_F(MenuCommandsTest, StopKeepsTheRunOnScreenAndExportsBeforeTheCountersAreZeroed) {
  CreateWith(4, /*save=*/1);
  OpenAndStart();
  port_.Arrive(Frame(1, 0x0171, 0x01C8));
  Run(400);
  ASSERT_EQ(PanelLines(1).size(), 2u);
  EXPECT_EQ(g_state.good_frames, 1);

  Command(CMD_STOP);
  EXPECT_EQ(g_state.good_frames, 0);
  EXPECT_EQ(PanelLines(1).size(), 2u);
  EXPECT_EQ(Only(g_state.good_count_box), "     1 ");
  const std::vector<std::uint8_t> exported = files_.Bytes("RUVEZ_2006_04_04_09_05.txt");
  const std::string text(exported.begin(), exported.end());
  EXPECT_NE(text.find("+23.1\xA1\xE6/45.6%RH-<71-01-C8-01-8A>-"), std::string::npos);
  EXPECT_EQ(MenuRow(), kOpenMenu);
}

TEST_F(MenuCommandsTest, OnlyStopExports) {
  CreateWith(4, /*save=*/1);
  OpenAndStart();
  Settings([](MemoryDialog&) { return IDC_EXIT; });
  Command(CMD_START);
  Command(CMD_CLOSE);
  EXPECT_EQ(files_.FilesIn(kStartDir).size(), 1u);  // the configuration alone
}

TEST_F(MenuCommandsTest, ADeviceThatGoesAwayLogsReadErrorsAndPollingGoesOn) {
  CreateWith(4);
  OpenAndStart();
  port_.Arrive(Frame(0, 0x0100, 0x0200));
  Run(200);
  ASSERT_EQ(g_state.good_frames, 1);

  port_.SetLineLost(true);
  for (int tick = 0; tick < 5; ++tick) Run(POLL_PERIOD_MS);  // one poll each
  ASSERT_EQ(LogLines().size(), 5u);
  for (const std::string& line : LogLines()) {
    EXPECT_EQ(line.substr(0, 9), "00000 -> ");
    EXPECT_EQ(line.substr(line.size() - 23), "ERR3,COM PORT READ ERR!");
  }
  EXPECT_EQ(g_state.bad_frames, 0);
  EXPECT_TRUE(surface_.TimerArmed(POLL_TIMER_ID));
  EXPECT_EQ(surface_.Beeps(), 5);

  // When it answers again, readings come through at the next poll.
  port_.SetLineLost(false);
  port_.Arrive(Frame(0, 0x0100, 0x0200));
  Run(250);
  EXPECT_EQ(g_state.good_frames, 2);
}

}  // namespace
