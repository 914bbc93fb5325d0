// The counter boxes, the error ratio and the error log lines.
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
  EXPECT_EQ(Only(g_state.bad_count_box), "     1 ");
  EXPECT_EQ(surface_.CurSel(g_state.bad_count_box), -1);
  EXPECT_EQ(Only(g_state.error_ratio_box), " 100.00% ");

  g_state.good_frames = 1;
  CountGoodFrame();
  EXPECT_EQ(Only(g_state.good_count_box), "     2 ");
  EXPECT_EQ(surface_.CurSel(g_state.good_count_box), 0);
  EXPECT_EQ(Only(g_state.error_ratio_box), " 33.33% ");

  g_state.good_frames = 798;  // the next good frame makes 1 error among 800: 0.125 percent
  CountGoodFrame();
  EXPECT_EQ(Only(g_state.error_ratio_box), " 0.13% ");

  g_state.bad_frames = 99999;
  CountBadFrame();
  EXPECT_EQ(Only(g_state.bad_count_box), " 100000 ");
}

TEST_F(CountersTest, ErrorLinesOfEveryCode) {
  g_state.bad_frames = 1;
  const Bytes strays = {0x11, 0x22, 0x33};
  std::copy(strays.begin(), strays.end(), g_state.stray_bytes);
  LogError(1, 3);
  g_state.bad_frames = 3;
  const Bytes bad = {0xCC, 0x05, 0x3A, 0x71, 0x01, 0xC8, 0x01, 0x87, 0xDD};
  std::copy(bad.begin(), bad.end(), g_state.frame_table[2]);
  LogError(2, 2);
  LogError(3, 0);
  LogError(4, 0);
  const Bytes refused = MakeFrame(0x2A, 0x3A, 0x0171, 0x01C8);
  std::copy(refused.begin(), refused.end(), g_state.frame_table[1]);
  LogError(5, 1);
  LogError(6, 0);
  g_state.bad_frames = 123456;
  LogError(0, 0);
  EXPECT_EQ(Log(), Lines({
                       "00001 -> 14:05:09 -- ERR1,L=3,D:11-22-33-",
                       "00003 -> 14:05:09 -- ERR2,n=2,D:CC-05-3A-71-01-C8-01-87-DD-",
                       "00003 -> 14:05:09 -- ERR3,COM PORT READ ERR!",
                       "00003 -> 14:05:09 -- ERR4,TMP-BUFF FULL!",
                       "00003 -> 14:05:09 -- ERR5,ID > 32!CC-2A-3A-71-01-C8-01-61-DD-",
                       "00003 -> 14:05:09 -- ",
                       "123456 -> 14:05:09 -- ",
                   }));
  EXPECT_EQ(surface_.Beeps(), 7);
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
