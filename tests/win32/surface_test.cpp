// The Windows window surface on real list boxes: a destroyed box answers as no box, a line
// wider than its box can be scrolled to, and a box keeps its latest lines only.
#include <gtest/gtest.h>

#include <string>

#include "platform/win32/win32_surface.h"

namespace {

class SurfaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    parent_ = CreateWindowExW(0, L"STATIC", L"parent", WS_OVERLAPPED, 0, 0, 800, 600, nullptr,
                              nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(parent_, nullptr);
    box_ = surface_.CreateListBox(ToWindowHandle(parent_), "传感器0:", kStyleScrolledBox, 2, 2, 300,
                                  200);
    ASSERT_NE(box_, kNoWindow);
  }
  void TearDown() override { DestroyWindow(parent_); }

  Win32Surface surface_{GetModuleHandleW(nullptr)};
  HWND parent_ = nullptr;
  WindowHandle box_ = kNoWindow;
};

TEST_F(SurfaceTest, ADestroyedBoxAnswersAsNoBox) {
  EXPECT_GT(surface_.GetItemHeight(box_, 0), 0);
  surface_.DestroyWindow(box_);
  EXPECT_EQ(surface_.GetItemHeight(box_, 0), kListError);
  EXPECT_EQ(surface_.AddString(box_, "x"), kListError);
  char buf[8];
  EXPECT_EQ(surface_.GetText(box_, 0, buf, sizeof buf), kListError);
  Rect client;
  EXPECT_FALSE(surface_.ClientRect(box_, &client));
}

// The box's horizontal extent follows its widest line, so that its scroll bar reaches the end of
// every line; emptied, it needs none.
TEST_F(SurfaceTest, TheWidestLineCanBeScrolledTo) {
  const HWND box = ToHwnd(box_);
  const auto extent = [box] { return SendMessageW(box, LB_GETHORIZONTALEXTENT, 0, 0); };
  RECT client = {};
  ASSERT_TRUE(GetClientRect(box, &client));
  surface_.AddString(box_, "000-");
  const LRESULT short_line = extent();
  EXPECT_GT(short_line, 0);
  EXPECT_LT(short_line, client.right);
  const std::string wide =
      "000-14:05:09-3A-+23.1℃/45.6%RH-<71-01-C8-01-86>- 5.2 " + std::string(40, '0');
  surface_.AddString(box_, wide.c_str());
  EXPECT_GT(extent(), client.right);
  const LRESULT widest = extent();
  surface_.AddString(box_, "000-");
  EXPECT_EQ(extent(), widest);
  surface_.ResetContent(box_);
  EXPECT_EQ(extent(), 0);
}

// However long a run, a box holds at most its limit of lines: each new one drops the oldest.
TEST_F(SurfaceTest, ABoxKeepsItsLatestLinesOnly) {
  int index = kListError;
  for (int n = 0; n < kBoxLineLimit + 2; ++n)
    index = surface_.AddString(box_, std::to_string(n).c_str());
  EXPECT_EQ(index, kBoxLineLimit - 1);
  EXPECT_EQ(surface_.GetCount(box_), kBoxLineLimit);
  char first[16];
  ASSERT_GT(surface_.GetText(box_, 0, first, sizeof first), 0);
  EXPECT_EQ(std::string(first), "2");
}

}  // namespace
