// The main window's own behaviour: the screen check and what creation builds. (Resizing and
// closing by the close box are checked on the Windows program itself.)
#include "app/resource_ids.h"
#include "support/fixture.h"

namespace {

using MainWindowTest = AppFixture;

TEST_F(MainWindowTest, ScreensSmallerThan1024By768AreRefused) {
  struct Case {
    int width, height;
    bool refused;
  };
  for (const Case c : {Case{1024, 768, false}, Case{1023, 768, true}, Case{1024, 767, true}}) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    Restart();
    surface_.SetScreenSize(c.width, c.height);
    PutConfig({2, 0, 0, 4});
    Create();
    EXPECT_EQ(surface_.QuitPosted(), c.refused);
    if (c.refused) {
      EXPECT_EQ(Boxes(), Lines{"错误提示!|Your Screen size must >= 1024 X 768!"});
      EXPECT_EQ(surface_.Beeps(), 1);
      EXPECT_TRUE(surface_.Children(hwnd_).empty());
      EXPECT_EQ(g_state.port_number, 2);  // the configuration was not read
    } else {
      EXPECT_TRUE(surface_.Messages().empty());
      EXPECT_EQ(surface_.Children(hwnd_).size(), 8u);  // four panels, log, three counters
    }
  }
}

TEST_F(MainWindowTest, CreationBuildsTheBoxesAndLeavesThePortClosedMenu) {
  CreateWith(4);
  EXPECT_STREQ(g_state.start_directory, kStartDir);
  EXPECT_EQ(Counters(), Lines({" 00000", " 00000", " 00.00%"}));
  EXPECT_EQ(MenuRow(), "+---++");
  const std::pair<WindowHandle, std::string> boxes[] = {
      {g_state.error_log_box, "错误纪录 110,504,1011,714"},
      {g_state.good_count_box, "正确次数 5,504,105,574"},
      {g_state.bad_count_box, "错误次数 5,574,105,644"},
      {g_state.error_ratio_box, "错误比率 5,644,105,714"},
  };
  for (const auto& [handle, want] : boxes) {
    const MemoryWindow* w = surface_.Find(handle);
    ASSERT_NE(w, nullptr);
    const Rect& r = w->rect;
    EXPECT_EQ(w->caption + " " + std::to_string(r.left) + "," + std::to_string(r.top) + "," +
                  std::to_string(r.right) + "," + std::to_string(r.bottom),
              want);
  }
}

}  // namespace
