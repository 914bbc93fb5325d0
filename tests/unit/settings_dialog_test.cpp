// The settings dialog as the operator uses it from the menu: what it shows, what confirming
// stores, and when the panels are rebuilt.
#include "app/resource_ids.h"
#include "support/fixture.h"

namespace {

using SettingsDialogTest = AppFixture;

TEST_F(SettingsDialogTest, SensorCountFieldIsLimitedAndPredictsThePanelGrid) {
  struct Case {
    const char* typed;
    int sensors;
    int panels;
  };
  const Case cases[] = {{"", 1, 2},       {"0", 1, 2},          {"abc", 1, 2},  {"33", 32, 32},
                        {"1000", 32, 32}, {"10", 10, 10},       {"11", 11, 15}, {"31", 31, 32},
                        {"32", 32, 32},   {"4294967296", 1, 2}, {" 7 ", 7, 9},  {"12abc", 1, 2}};
  CreateWith(4);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("typed \"") + c.typed + "\"");
    SetSensors(c.typed);
    EXPECT_EQ(g_state.sensor_count, c.sensors);
    EXPECT_EQ(g_state.panel_count, c.panels);
    // The grid that was built has exactly the predicted panels.
    EXPECT_EQ(static_cast<int>(surface_.Children(hwnd_).size()), c.panels + 4);
  }
}

TEST_F(SettingsDialogTest, SameGridKeepsThePanelsAndTheirLinesOtherwiseTheyAreRebuiltEmpty) {
  CreateWith(3);
  const WindowHandle panel3 = g_state.panel_boxes[3];
  surface_.AddString(panel3, "kept");
  SetSensors("4");  // still 2 x 2
  EXPECT_EQ(g_state.sensor_count, 4);
  EXPECT_EQ(Panel(3), Lines{"kept"});

  SetSensors("5");  // 3 x 2
  EXPECT_EQ(g_state.panel_count, 6);
  EXPECT_FALSE(surface_.IsAlive(panel3));
  for (int i = 0; i < 6; ++i) EXPECT_TRUE(Panel(i).empty());
  EXPECT_EQ(g_state.panel_visible_lines, 13);  // the new panels were measured: 255 - 41 px
  EXPECT_EQ(clock_.TotalSlept(), 30u);         // between taking the old panels down and the new up

  // After a count of 0 from the file (no panels), confirming builds them.
  Restart();
  CreateWith(0);
  EXPECT_EQ(g_state.panel_count, 0);
  Settings([](MemoryDialog&) { return IDC_CONFIRM; });
  EXPECT_EQ(g_state.sensor_count, 1);
  EXPECT_EQ(g_state.panel_count, 2);
}

TEST_F(SettingsDialogTest, ShowsTheSettingsAndStoresTheOperatorsChoicesOnlyOnConfirm) {
  PutConfig({3, 2, 1, 6});
  Create();
  const auto choose = [](MemoryDialog& d) {
    EXPECT_EQ(d.GetCheck(IDC_COM3), 1);
    EXPECT_EQ(d.GetCheck(IDC_COM1) + d.GetCheck(IDC_COM2) + d.GetCheck(IDC_COM4), 0);
    EXPECT_EQ(d.GetCheck(IDC_BAUD_38400), 1);
    EXPECT_EQ(d.GetCheck(IDC_SAVE_LOG), 1);
    EXPECT_EQ(d.Text(IDC_SENSOR_COUNT), "6");
    d.Click(IDC_COM1);
    d.Click(IDC_BAUD_19200);
    d.Click(IDC_SAVE_LOG);
    d.Type(IDC_SENSOR_COUNT, "20");
  };
  const WindowHandle panel0 = g_state.panel_boxes[0];
  Settings([&](MemoryDialog& d) {
    choose(d);
    return IDC_EXIT;
  });
  EXPECT_EQ(Stored(), std::vector<int>({3, 2, 1, 6}));
  EXPECT_EQ(g_state.panel_boxes[0], panel0);
  Settings([&](MemoryDialog& d) {
    choose(d);
    return IDC_CONFIRM;
  });
  EXPECT_EQ(Stored(), std::vector<int>({1, 1, 0, 20}));
}

TEST_F(SettingsDialogTest, PortOutsideTheOfferedRangeChecksNoButtonAndIsKept) {
  // Port 11 would name the 9600 button if its control were computed blindly.
  PutConfig({11, 2, 0, 4});
  Create();
  Settings([](MemoryDialog& d) {
    for (int id = IDC_COM1; id <= IDC_COM4; ++id) EXPECT_EQ(d.GetCheck(id), 0);
    EXPECT_EQ(d.GetCheck(IDC_BAUD_9600), 0);
    EXPECT_EQ(d.GetCheck(IDC_BAUD_38400), 1);
    return IDC_CONFIRM;
  });
  EXPECT_EQ(Stored(), std::vector<int>({11, 2, 0, 4}));
}

}  // namespace
