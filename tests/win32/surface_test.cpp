// The Windows window surface on real list boxes: a destroyed box answers as no box.
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

}  // namespace
