// The counter boxes, the error ratio and the error log lines.
#include <climits>

#include "display/counters.h"
#include "support/fixture.h"

namespace {

class CountersTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    LocalTime t = clock_.Now();
    t.hour = 14;
    t.second = 9;
    clock_.SetLocalTime(t);
  }
};

TEST_F(CountersTest, CountBoxesHoldOneLineTheGoodCountIsSelectedAndTheRatioRounds) {
  CountBadFrame();
  EXPECT_EQ(Counters(), Lines({"0000", "     1 ", " 100.00% "}));
  EXPECT_EQ(surface_.CurSel(g_state.bad_count_box), -1);

  g_state.good_frames = 1;
  CountGoodFrame();
  EXPECT_EQ(Counters(), Lines({"     2 ", "     1 ", " 33.33% "}));
  EXPECT_EQ(surface_.CurSel(g_state.good_count_box), 0);

  g_state.good_frames = 798;  // the next good frame makes 1 error among 800: 0.125 percent
  CountGoodFrame();
  EXPECT_EQ(Only(g_state.error_ratio_box), " 0.13% ");

  g_state.bad_frames = 99999;
  CountBadFrame();
  EXPECT_EQ(Only(g_state.bad_count_box), " 100000 ");

  // The counts stop at their largest value instead of wrapping.
  g_state.good_frames = g_state.bad_frames = INT_MAX;
  CountGoodFrame();
  CountBadFrame();
  EXPECT_EQ(Counters(), Lines({" 2147483647 ", " 2147483647 ", " 50.00% "}));
}

TEST_F(CountersTest, StrayDumpShowsFifteenBytesAtMost) {
  for (int i = 0; i < 20; ++i) g_state.stray_bytes[i] = static_cast<std::uint8_t>(i);
  for (int n : {14, 15, 16, 20}) LogError(1, n);
  const std::string fourteen = "00-01-02-03-04-05-06-07-08-09-0A-0B-0C-0D-";
  EXPECT_EQ(Log(), Lines({
                       "00000 -> 14:05:09 -- ERR1,L=14,D:" + fourteen,
                       "00000 -> 14:05:09 -- ERR1,L=15,D:" + fourteen + "0E-...",
                       "00000 -> 14:05:09 -- ERR1,L=16,D:" + fourteen + "0E-...",
                       "00000 -> 14:05:09 -- ERR1,L=20,D:" + fourteen + "0E-...",
                   }));
}

TEST_F(CountersTest, ErrorLogScrollsTwoPastTheLastPageOnceFull) {
  const WindowHandle log = g_state.error_log_box;
  const int visible = g_state.log_visible_lines;
  for (int i = 1; i < visible; ++i) LogError(3, 0);
  EXPECT_TRUE(surface_.top_index_requests.empty());
  LogError(3, 0);
  LogError(4, 0);
  using Request = std::pair<WindowHandle, int>;
  EXPECT_EQ(surface_.top_index_requests, std::vector<Request>({{log, 2}, {log, 3}}));
  EXPECT_EQ(surface_.TopIndex(log), 1);
}

}  // namespace
