// The six menu commands: the run states they move between, the menu each leaves, and what a
// start, stop, close or exit does to the panels, counters, timer, port and files.
#include "app/resource_ids.h"
#include "support/fixture.h"

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
  void ExpectState(const std::string& menu, int running) {
    EXPECT_EQ(MenuRow(), menu);
    EXPECT_EQ(g_state.running, running);
    EXPECT_EQ(surface_.TimerArmed(POLL_TIMER_ID), running == 1);
  }
};

TEST_F(MenuCommandsTest, EveryTransitionLeavesTheMenuOfItsState) {
  CreateWith(4);
  port_.SetPresent(1, false);
  Command(CMD_OPEN);
  EXPECT_EQ(Boxes(), Lines{"错误提示|端口不存在或出现错误，请重新设置!"});
  EXPECT_EQ(surface_.Messages()[0].type, 48u);
  ExpectState(kClosedMenu, 0);

  port_.SetPresent(1, true);
  Command(CMD_OPEN);
  ExpectState(kOpenMenu, 0);
  EXPECT_EQ(port_.Writes(), std::vector<Bytes>({{'A', 'B', 'C'}}));  // the probe

  Command(CMD_START);
  ExpectState(kRunningMenu, 1);
  EXPECT_EQ(surface_.TimerPeriod(POLL_TIMER_ID), 200u);
  Command(CMD_STOP);
  ExpectState(kOpenMenu, 0);

  // Settings during a run end it without redrawing the menu bar.
  Command(CMD_START);
  const int draws = surface_.MenuBarDraws();
  Settings([](MemoryDialog&) { return IDC_EXIT; });
  ExpectState(kOpenMenu, 0);
  EXPECT_EQ(surface_.MenuBarDraws(), draws);
  // With the port open or closed they keep the state.
  Settings([](MemoryDialog&) { return IDC_CONFIRM; });
  ExpectState(kOpenMenu, 0);
  Command(CMD_CLOSE);
  ExpectState(kClosedMenu, 0);
  EXPECT_EQ(port_.OpenPorts(), 0);
  Settings([](MemoryDialog&) { return IDC_CONFIRM; });
  ExpectState(kClosedMenu, 0);

  // Close during a run. The next open drops what the accumulation buffer kept of the earlier
  // port session.
  g_state.rx_length = 4;
  OpenAndStart();
  EXPECT_EQ(g_state.rx_length, 0);
  g_state.good_frames = 5;
  Command(CMD_CLOSE);
  ExpectState(kClosedMenu, 0);
  EXPECT_EQ(g_state.good_frames, 0);
  EXPECT_EQ(port_.CallsOnClosedHandles(), 0);
}

TEST_F(MenuCommandsTest, OnlyStopExportsAndExitDuringARunSavesTheSettings) {
  CreateWith(4, /*save=*/1);
  OpenAndStart();
  Settings([](MemoryDialog&) { return IDC_EXIT; });
  Command(CMD_START);
  Command(CMD_CLOSE);
  OpenAndStart();
  Command(CMD_EXIT);
  EXPECT_TRUE(surface_.QuitPosted());
  EXPECT_EQ(surface_.QuitCode(), 0);
  EXPECT_FALSE(surface_.IsAlive(hwnd_));
  EXPECT_EQ(port_.OpenPorts(), 0);
  EXPECT_EQ(port_.CallsOnClosedHandles(), 0);
  EXPECT_EQ(files_.Bytes("wscfg.cfg"), Bytes({1, 0, 1, 4}));
  EXPECT_EQ(files_.FilesIn(kStartDir).size(), 1u);  // the configuration alone
  EXPECT_TRUE(surface_.Messages().empty());
}

TEST_F(MenuCommandsTest, StartEmptiesEveryPanelAndWritesAHeaderInEach) {
  CreateWith(3);  // four panels
  surface_.AddString(g_state.error_log_box, "old error");
  OpenAndStart();
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(Panel(i), Lines{"sensor" + std::to_string(i) + kHeaderTime});
  EXPECT_EQ(Counters(), Lines({"0000", "0000", "00.00%"}));
  EXPECT_TRUE(Log().empty());
  // The first poll comes 200 ms later.
  EXPECT_EQ(surface_.TimerDue(clock_.TickCount() + 199), -1);
  EXPECT_EQ(surface_.TimerDue(clock_.TickCount() + 200), POLL_TIMER_ID);

  // The spare panel of the grid too: the second start leaves one header in each.
  Command(CMD_STOP);
  Command(CMD_START);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Panel(i).size(), 1u) << "panel " << i;
}

TEST_F(MenuCommandsTest, StartWithTenOrMoreSensorsWritesNoHeaderAndDoesNotPurge) {
  CreateWith(12);  // fifteen panels
  Command(CMD_OPEN);
  surface_.AddString(g_state.panel_boxes[0], "old 0");
  surface_.AddString(g_state.panel_boxes[12], "old 12");
  g_state.sensor_prev_tick[0] = 1234;
  g_state.sensor_frame_count[12] = 7;  // from an earlier run
  const int purges = port_.PurgeCalls();
  Command(CMD_START);
  EXPECT_EQ(g_state.sensor_frame_count[12], 0);  // every sensor numbers from 000 again
  EXPECT_TRUE(Panel(0).empty());
  EXPECT_TRUE(Panel(11).empty());
  EXPECT_TRUE(Panel(12).empty());  // a spare panel
  EXPECT_EQ(port_.PurgeCalls(), purges);
  EXPECT_EQ(g_state.sensor_prev_tick[0], 1234u);
  EXPECT_TRUE(surface_.TimerArmed(POLL_TIMER_ID));
}

TEST_F(MenuCommandsTest, StopKeepsTheRunOnScreenAndExportsIt) {
  CreateWith(4, /*save=*/1);
  OpenAndStart();
  port_.Arrive(MakeFrame(1, 0x3A, 0x0171, 0x01C8));
  Run(400);
  ASSERT_EQ(Panel(1).size(), 2u);
  Command(CMD_STOP);
  EXPECT_EQ(g_state.good_frames, 0);
  EXPECT_EQ(Panel(1).size(), 2u);
  EXPECT_EQ(Only(g_state.good_count_box), "     1 ");
  const Bytes exported = files_.Bytes("RUVEZ_2006_04_04_09_05.txt");
  EXPECT_NE(
      std::string(exported.begin(), exported.end()).find("+23.1\xA1\xE6/45.6%RH-<71-01-C8-01-8A>-"),
      std::string::npos);
  EXPECT_EQ(MenuRow(), kOpenMenu);
}

}  // namespace
