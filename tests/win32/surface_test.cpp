// The Windows window surface on real list boxes: captions and lines in Chinese survive the trip
// through the wide functions, a cut never splits a character, and a destroyed box answers as no
// box.
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

  std::string Text(int index) {
    char buf[300];
    const int n = surface_.GetText(box_, index, buf, sizeof buf);
    return n < 0 ? "<error>" : std::string(buf);
  }

  Win32Surface surface_{GetModuleHandleW(nullptr)};
  HWND parent_ = nullptr;
  WindowHandle box_ = kNoWindow;
};

TEST_F(SurfaceTest, CaptionsAndLinesKeepTheirChineseCharacters) {
  wchar_t caption[32] = {};
  GetWindowTextW(ToHwnd(box_), caption, 32);
  EXPECT_EQ(std::wstring(caption),
            L"\x4F20\x611F\x5668"
            L"0:");

  const std::string reading = "000-14:05:09-3A-+23.1℃/45.6%RH-<71-01-C8-01-86>- 5.2";
  const std::string header = "sensor0, 开始于:<2006/04/04--09:05:00>";
  EXPECT_EQ(surface_.AddString(box_, header.c_str()), 0);
  EXPECT_EQ(surface_.AddString(box_, reading.c_str()), 1);
  EXPECT_EQ(surface_.GetCount(box_), 2);
  EXPECT_EQ(Text(0), header);
  EXPECT_EQ(Text(1), reading);
  EXPECT_EQ(Text(2), "<error>");
}

TEST_F(SurfaceTest, AShortBufferGetsWholeCharactersAndTheFullLength) {
  surface_.AddString(box_, "+23.1℃/");  // 5 + 3 + 1 bytes
  char buf[7];
  EXPECT_EQ(surface_.GetText(box_, 0, buf, sizeof buf), 9);
  EXPECT_STREQ(buf, "+23.1");
  char exact[10];
  EXPECT_EQ(surface_.GetText(box_, 0, exact, sizeof exact), 9);
  EXPECT_STREQ(exact, "+23.1℃/");
}

TEST_F(SurfaceTest, ItemHeightIsMeasurableUntilTheBoxIsDestroyed) {
  EXPECT_GT(surface_.GetItemHeight(box_, 0), 0);
  Rect client;
  EXPECT_TRUE(surface_.ClientRect(box_, &client));
  EXPECT_GT(client.bottom, 0);

  surface_.DestroyWindow(box_);
  EXPECT_EQ(surface_.GetItemHeight(box_, 0), kListError);
  EXPECT_LE(surface_.GetCount(box_), 0);
  EXPECT_EQ(surface_.AddString(box_, "x"), kListError);
  char buf[8];
  EXPECT_EQ(surface_.GetText(box_, 0, buf, sizeof buf), kListError);
  EXPECT_FALSE(surface_.ClientRect(box_, &client));
}

}  // namespace
