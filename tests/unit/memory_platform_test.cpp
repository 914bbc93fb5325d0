// The in-memory platform stands in for the window system and the serial line in every other
// test, so its own rules are checked here: list box clamping and lifetimes, the window
// messages of closing, the dialog model, the clock and the scripted port.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/resource_ids.h"
#include "platform/memory/manual_clock.h"
#include "platform/memory/memory_dialog.h"
#include "platform/memory/memory_surface.h"
#include "platform/memory/scripted_serial_port.h"

namespace {

class MemorySurfaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    main_ = surface_.CreateMainWindow(
        [this](WindowHandle, MemoryMessage m, int) { messages_.push_back(m); });
  }
  // A panel of the 4-sensor grid: 256 px high, 13 whole lines of 16 px.
  WindowHandle Panel() {
    return surface_.CreateListBox(main_, "p", kStyleScrolledBox, 2, 2, 506, 256);
  }

  MemorySurface surface_;
  WindowHandle main_ = kNoWindow;
  std::vector<MemoryMessage> messages_;
};

TEST_F(MemorySurfaceTest, ListBoxKeepsInsertionOrderAndClampsTopIndexToScrollRange) {
  WindowHandle box = Panel();
  ASSERT_EQ(surface_.VisibleLines(box), 13);
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(surface_.AddString(box, std::to_string(19 - i).c_str()), i);
  }
  EXPECT_EQ(surface_.Lines(box).front(), "19");
  EXPECT_EQ(surface_.Lines(box).back(), "0");

  surface_.SetTopIndex(box, 20 - 13 + 2);  // past the range: the last page fills the box
  EXPECT_EQ(surface_.TopIndex(box), 7);
  surface_.SetTopIndex(box, 3);
  EXPECT_EQ(surface_.TopIndex(box), 3);
  surface_.SetTopIndex(box, -4);
  EXPECT_EQ(surface_.TopIndex(box), 0);

  char buf[4];
  EXPECT_EQ(surface_.GetText(box, 0, buf, sizeof buf), 2);
  EXPECT_STREQ(buf, "19");
  EXPECT_EQ(surface_.GetText(box, 20, buf, sizeof buf), kListError);

  surface_.SetCurSel(box, 5);
  EXPECT_EQ(surface_.CurSel(box), 5);
  surface_.ResetContent(box);
  EXPECT_EQ(surface_.GetCount(box), 0);
  EXPECT_EQ(surface_.CurSel(box), -1);
  EXPECT_EQ(surface_.TopIndex(box), 0);
}

TEST_F(MemorySurfaceTest, GetTextTruncatesToTheBufferButReportsTheFullLength) {
  WindowHandle box = Panel();
  surface_.AddString(box, "abcdefgh");
  char buf[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(surface_.GetText(box, 0, buf, sizeof buf), 8);
  EXPECT_STREQ(buf, "abc");
}

TEST_F(MemorySurfaceTest, DestroyedBoxesFailEveryCallAndHandlesAreNeverReused) {
  WindowHandle old_box = Panel();
  surface_.DestroyWindow(old_box);
  WindowHandle new_box = Panel();
  EXPECT_NE(new_box, old_box);
  EXPECT_EQ(surface_.AddString(old_box, "x"), kListError);
  EXPECT_EQ(surface_.GetCount(old_box), kListError);
  EXPECT_EQ(surface_.GetItemHeight(old_box, 0), kListError);
  Rect r;
  EXPECT_FALSE(surface_.ClientRect(old_box, &r));
  EXPECT_EQ(surface_.GetCount(new_box), 0);
  EXPECT_EQ(surface_.AddString(kNoWindow, "x"), kListError);
}

TEST_F(MemorySurfaceTest, ClientRectExcludesFrameCaptionAndScrollBarsInWholeLines) {
  WindowHandle log = surface_.CreateListBox(main_, "log", kStyleScrolledBox, 110, 504, 901, 210);
  WindowHandle count = surface_.CreateListBox(main_, "n", kStyleCounterBox, 5, 504, 100, 70);
  Rect r;
  ASSERT_TRUE(surface_.ClientRect(log, &r));
  EXPECT_EQ(r.bottom - r.top, 160);  // 210 - 6 - 18 - 17 = 169, rounded down to 10 lines
  ASSERT_TRUE(surface_.ClientRect(count, &r));
  EXPECT_EQ(r.bottom - r.top, 32);  // 70 - 6 - 18 = 46: two lines
  ASSERT_TRUE(surface_.ClientRect(main_, &r));
  EXPECT_EQ(r.right, 1016);
  EXPECT_EQ(r.bottom, 714);
}

TEST_F(MemorySurfaceTest, ClosingDeliversCloseThenDestroyAndTakesChildrenAndTimers) {
  WindowHandle box = Panel();
  surface_.SetTimer(main_, 100, 200);
  messages_.clear();
  surface_.SendClose(main_);
  EXPECT_EQ(messages_,
            (std::vector<MemoryMessage>{MemoryMessage::kClose, MemoryMessage::kDestroy}));
  EXPECT_FALSE(surface_.IsAlive(main_));
  EXPECT_FALSE(surface_.IsAlive(box));
  EXPECT_FALSE(surface_.TimerArmed(100));
}

TEST_F(MemorySurfaceTest, OnlyAMoveThatChangesTheSizeDeliversASizeMessage) {
  messages_.clear();
  surface_.MoveWindow(main_, Rect{40, 40, 1064, 808});
  EXPECT_TRUE(messages_.empty());
  surface_.ResizeByOperator(main_, Rect{0, 0, 800, 600});
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], MemoryMessage::kSize);
}

TEST(MemorySurfaceTimers, TimerIsDueAPeriodAfterItWasArmed) {
  ManualClock clock;
  MemorySurface surface(&clock);
  WindowHandle main = surface.CreateMainWindow(nullptr);
  clock.SetTick(0xFFFFFF00u);  // arming just before the tick counter wraps
  surface.SetTimer(main, 100, 200);
  EXPECT_EQ(surface.TimerDue(clock.TickCount() + 199), -1);
  EXPECT_EQ(surface.MillisecondsToNextTimer(clock.TickCount() + 150), 50);
  EXPECT_EQ(surface.TimerDue(clock.TickCount() + 200), 100);
  surface.KillTimer(main, 100);
  EXPECT_EQ(surface.TimerDue(clock.TickCount() + 1000), -1);
  EXPECT_EQ(surface.MillisecondsToNextTimer(clock.TickCount()), -1);
}

TEST(MemoryDialogTest, RadioClicksClearOnlyTheirOwnGroupButSetCheckDoesNot) {
  MemoryDialog dialog;
  dialog.SetCheck(IDC_COM2, 1);
  dialog.SetCheck(IDC_BAUD_19200, 1);
  dialog.Click(IDC_COM4);
  EXPECT_EQ(dialog.GetCheck(IDC_COM2), 0);
  EXPECT_EQ(dialog.GetCheck(IDC_COM4), 1);
  EXPECT_EQ(dialog.GetCheck(IDC_BAUD_19200), 1);
  dialog.SetCheck(IDC_COM1, 1);  // a program setting a check leaves the others alone
  EXPECT_EQ(dialog.GetCheck(IDC_COM4), 1);
  dialog.Click(IDC_SAVE_LOG);
  EXPECT_EQ(dialog.GetCheck(IDC_SAVE_LOG), 1);
  dialog.Click(IDC_SAVE_LOG);
  EXPECT_EQ(dialog.GetCheck(IDC_SAVE_LOG), 0);
  EXPECT_EQ(dialog.GetCheck(999), 0);
  EXPECT_FALSE(dialog.Click(999));
}

TEST(MemoryDialogTest, EditFieldTranslatesOnlyUnsignedDecimalsWithin32Bits) {
  EXPECT_EQ(MemoryDialog::TranslateUInt("12"), 12u);
  EXPECT_EQ(MemoryDialog::TranslateUInt("  7 "), 7u);
  EXPECT_EQ(MemoryDialog::TranslateUInt("4294967295"), 4294967295u);
  EXPECT_EQ(MemoryDialog::TranslateUInt("4294967296"), 0u);
  EXPECT_EQ(MemoryDialog::TranslateUInt("99999999999999999999"), 0u);
  EXPECT_EQ(MemoryDialog::TranslateUInt(""), 0u);
  EXPECT_EQ(MemoryDialog::TranslateUInt("abc"), 0u);
  EXPECT_EQ(MemoryDialog::TranslateUInt("-3"), 0u);
  EXPECT_EQ(MemoryDialog::TranslateUInt("12abc"), 0u);
  MemoryDialog dialog;
  dialog.SetItemUInt(IDC_SENSOR_COUNT, 8);
  EXPECT_EQ(dialog.Text(IDC_SENSOR_COUNT), "8");
  EXPECT_EQ(dialog.GetItemUInt(IDC_SENSOR_COUNT), 8u);
}

TEST(ManualClockTest, AdvanceCarriesIntoMinutesHoursDaysMonthsAndYears) {
  ManualClock clock;
  LocalTime t;
  t.year = 2024;
  t.month = 2;
  t.day = 28;
  t.hour = 23;
  t.minute = 59;
  t.second = 59;
  t.milliseconds = 500;
  clock.SetLocalTime(t);
  clock.Advance(500 + 24 * 3600 * 1000);  // to 2024-03-01 00:00:00.000 through a leap day
  EXPECT_EQ(clock.Now().month, 3);
  EXPECT_EQ(clock.Now().day, 1);
  EXPECT_EQ(clock.Now().hour, 0);
  EXPECT_EQ(clock.Now().second, 0);
  t.year = 2023;
  t.month = 12;
  t.day = 31;
  clock.SetLocalTime(t);
  clock.Advance(500);
  EXPECT_EQ(clock.Now().year, 2024);
  EXPECT_EQ(clock.Now().month, 1);
  EXPECT_EQ(clock.Now().day, 1);
  clock.SetTick(0xFFFFFFFFu);
  clock.Sleep(2);
  EXPECT_EQ(clock.TickCount(), 1u);
  EXPECT_EQ(clock.SleepCalls(), 1);
}

TEST(ScriptedSerialPortTest, ReadsReturnWhatIsQueuedAndWaitTheTimeOutWhenShort) {
  ManualClock clock;
  ScriptedSerialPort port(&clock);
  PortHandle h = port.Open(2);
  ASSERT_NE(h, kInvalidPort);
  port.Arrive({1, 2, 3, 4, 5});
  std::uint8_t buf[16] = {};
  EXPECT_EQ(port.Read(h, buf, 3), 3);  // enough waiting: at once
  EXPECT_EQ(clock.TickCount(), 0u);
  EXPECT_EQ(port.Queued(), 2u);
  EXPECT_EQ(port.Read(h, buf, 10), 2);  // short: after 3 * 10 + 10 ms
  EXPECT_EQ(buf[0], 4);
  EXPECT_EQ(clock.TickCount(), 40u);
  EXPECT_EQ(port.Read(h, buf, 10), 0);
  port.FailNextRead();
  EXPECT_EQ(port.Read(h, buf, 10), -1);
}

TEST(ScriptedSerialPortTest, OpenIsExclusiveAndClosedHandlesAreReported) {
  ScriptedSerialPort port;
  port.SetPresent(3, false);
  port.SetHeldElsewhere(4, true);
  EXPECT_EQ(port.Open(3), kInvalidPort);
  EXPECT_EQ(port.Open(4), kInvalidPort);
  PortHandle h = port.Open(1);
  EXPECT_EQ(port.Open(1), kInvalidPort);
  port.RefuseBaud(12345);
  EXPECT_EQ(port.SetBaud(h, 12345), 0);
  EXPECT_FALSE(port.IsOpen(h));
  EXPECT_EQ(port.CallsOnClosedHandles(), 0);
  port.Close(h);
  EXPECT_EQ(port.CallsOnClosedHandles(), 1);
  EXPECT_NE(port.Open(1), kInvalidPort);
}

TEST(ScriptedSerialPortTest, WritesDiscardUnreadInputBeforeTheReplyArrives) {
  ScriptedSerialPort port;
  PortHandle h = port.Open(1);
  port.Arrive({9, 9, 9});
  port.ReplyToWrites({'A', 'B', 'C', 0, 1});
  const std::uint8_t probe[3] = {'A', 'B', 'C'};
  EXPECT_EQ(port.WritePlain(h, probe, 3), 3);
  EXPECT_EQ(port.Queued(), 5u);
  ASSERT_EQ(port.Writes().size(), 1u);
  EXPECT_EQ(port.Writes()[0], (std::vector<std::uint8_t>{'A', 'B', 'C'}));
}

}  // namespace
