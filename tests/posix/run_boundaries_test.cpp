// What a run keeps from what came before it, end to end: wsmon --headless on a pseudo-terminal,
// its exports read back from the start directory.
#include <algorithm>

#include "support.h"

namespace {

// Sends commands, then waits until the monitor has read them (the echo of a wait unique in the
// run), or for a line that begins with a prefix; each wait looks only at the lines after the
// last one waited for.
class Operator {
 public:
  Operator(const ScratchDirectory& dir, const PseudoTerminal& line)
      : wsmon_(WSMON_PATH, {"--headless", "--com", "1=" + line.path()}, dir.path()) {}
  bool Do(const std::string& commands) {
    const std::string mark = "wait " + std::to_string(++steps_);
    wsmon_.Write(commands + mark + "\n");
    return Shown("> " + mark);
  }
  bool Shown(const std::string& prefix) {
    return WaitUntil(
        [&] {
          for (const Lines& all = wsmon_.lines(); seen_ < all.size(); ++seen_) {
            if (all[seen_].rfind(prefix, 0) == 0) return true;
          }
          return false;
        },
        10000);
  }
  Program wsmon_;

 private:
  int steps_ = 0;
  std::size_t seen_ = 0;
};

// Two runs on each grid with a spare panel; the second run's export holds its own lines alone:
// in each panel its header, and the readings numbered from 000, the spare panel's included.
TEST(RunBoundariesTest, EachExportHoldsOnlyItsOwnRunWhateverTheSensorCount) {
  const std::pair<int, int> grids[] = {{1, 2}, {3, 4}, {5, 6}, {7, 9}};  // sensors, panels
  ScratchDirectory dir;
  PseudoTerminal line;
  Operator op(dir, line);
  ASSERT_TRUE(op.Do("settings port=1 save=1\nopen\n"));
  for (const auto& [sensors, panels] : grids) {
    SCOPED_TRACE(std::to_string(sensors) + " sensors");
    ASSERT_TRUE(op.Do("settings sensors=" + std::to_string(sensors) + "\n"));
    std::string last;
    for (int run = 0; run < 2; ++run) {
      const std::vector<std::string> before = dir.Names();
      ASSERT_TRUE(op.Do("start\n"));
      const auto spare = static_cast<std::uint8_t>(panels - 1);
      line.Send(Concat({MakeFrame(0, 0, 0x0110, 0x0200), MakeFrame(spare, 0, 0x0120, 0x0210)}));
      ASSERT_TRUE(op.Shown("panel " + std::to_string(spare) + " line "));
      ASSERT_TRUE(op.Do("stop\n"));
      for (const std::string& name : dir.Names()) {
        if (std::find(before.begin(), before.end(), name) == before.end()) last = name;
      }
    }
    const std::string text = ReadWholeFile(dir.File(last));
    Lines kinds;  // a header as "sensorN", a reading by its number
    for (std::size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos;
         at = end + 2) {
      const std::string l = text.substr(at, end - at);
      kinds.push_back(l.rfind("sensor", 0) == 0 ? l.substr(0, l.find(',')) : l.substr(0, 4));
    }
    Lines expected;
    for (int p = 0; p < panels; ++p) {
      expected.push_back("sensor" + std::to_string(p));
      if (p == 0 || p == panels - 1) expected.push_back("000-");
    }
    EXPECT_EQ(kinds, expected) << last;
  }
  op.wsmon_.Write("exit\n");
  EXPECT_EQ(op.wsmon_.Finish(), 0);
}

// Half a frame is left when a run stops. Closing and opening the port begins a new port session:
// three clean frames then show three readings and log nothing.
TEST(RunBoundariesTest, HalfAFrameFromAnEarlierPortSessionInventsNoError) {
  const Bytes frame = MakeFrame(1, 0, 0x0171, 0x01C8);
  ScratchDirectory dir;
  PseudoTerminal line;
  Operator op(dir, line);
  ASSERT_TRUE(op.Do("settings port=1\nopen\nstart\n"));
  line.Send(Bytes(frame.begin(), frame.begin() + 4));
  ASSERT_TRUE(op.Do("wait 600\nstop\nclose\nopen\nstart\n"));
  line.Send(Concat({frame, frame, frame}));
  ASSERT_TRUE(op.Shown("panel 1 line 3 "));
  op.wsmon_.Write("exit\n");
  EXPECT_EQ(op.wsmon_.Finish(), 0);
  const Lines& out = op.wsmon_.lines();
  EXPECT_EQ(std::count_if(out.begin(), out.end(),
                          [](const std::string& l) { return l.rfind("log line", 0) == 0; }),
            0)
      << ::testing::PrintToString(out);
}

}  // namespace
