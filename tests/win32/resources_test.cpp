// The program's resources as Windows loads them: the menu and the settings dialog carry the
// monitor's own texts (the resource script repeats them, so they are compared here), and the
// dialog procedure fills and reads back the monitor state through the real controls.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "app/monitor_state.h"
#include "app/resource_ids.h"
#include "app/texts.h"
#include "platform/win32/settings_dialog_proc.h"
#include "platform/win32/wide_text.h"

namespace {

std::wstring W(const char* utf8) {
  return WideText(utf8).get();
}

std::wstring TextOf(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  return text;
}

TEST(ResourcesTest, MenuBarHasTheSixCommandsInOrderAllEnabled) {
  const HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAIN_MENU));
  ASSERT_NE(menu, nullptr);
  const std::vector<std::pair<int, const char*>> items = {
      {CMD_OPEN, text::kMenuOpen},         {CMD_CLOSE, text::kMenuClose},
      {CMD_SETTINGS, text::kMenuSettings}, {CMD_START, text::kMenuStart},
      {CMD_STOP, text::kMenuStop},         {CMD_EXIT, text::kMenuExit}};
  ASSERT_EQ(GetMenuItemCount(menu), static_cast<int>(items.size()));
  for (int i = 0; i < static_cast<int>(items.size()); ++i) {
    const UINT position = static_cast<UINT>(i);
    wchar_t label[64] = {};
    GetMenuStringW(menu, position, label, 64, MF_BYPOSITION);
    EXPECT_EQ(static_cast<int>(GetMenuItemID(menu, i)), items[position].first);
    EXPECT_EQ(std::wstring(label), W(items[position].second)) << "item " << i;
    EXPECT_EQ(GetMenuState(menu, position, MF_BYPOSITION) & (MF_GRAYED | MF_DISABLED), 0u);
  }
  DestroyMenu(menu);
}

// Loaded as the window class loads it. Its size is not checked: LoadImage stretches an icon to
// whatever size it is asked for.
TEST(ResourcesTest, TheProgramsIconLoads) {
  const HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_WSMON));
  EXPECT_NE(icon, nullptr);
}

class SettingsDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetMonitorState();
    g_state.port_number = 3;
    g_state.baud_index = 2;
    g_state.save_log = 1;
    g_state.sensor_count = 17;
    g_state.panel_count = 20;
  }
  void TearDown() override {
    if (dialog_ != nullptr) DestroyWindow(dialog_);
    ResetMonitorState();
  }

  void Open() {
    dialog_ = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_SETTINGS), nullptr,
                                 SettingsDialogProc, 0);
    ASSERT_NE(dialog_, nullptr);
    // A dialog made this way starts hidden; EndDialog hides it again.
    SetWindowPos(dialog_, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    ASSERT_TRUE(IsWindowVisible(dialog_));
  }
  void Type(const wchar_t* text) { SetDlgItemTextW(dialog_, IDC_SENSOR_COUNT, text); }
  void Command(int id) { SendMessageW(dialog_, WM_COMMAND, static_cast<WPARAM>(id), 0); }

  HWND dialog_ = nullptr;
};

TEST_F(SettingsDialogTest, ShowsTheFifteenControlsWithTheirTexts) {
  Open();
  EXPECT_EQ(TextOf(dialog_), W(text::kDialogCaption));
  const std::vector<std::pair<int, std::wstring>> controls = {
      {IDC_CONFIRM, W(text::kDialogConfirm)},
      {IDC_EXIT, W(text::kDialogExit)},
      {IDC_COM1, L"COM1"},
      {IDC_COM2, L"COM2"},
      {IDC_COM3, L"COM3"},
      {IDC_COM4, L"COM4"},
      {0xFFFF, W(text::kDialogPortGroup)},
      {IDC_BAUD_9600, L"9600"},
      {IDC_BAUD_19200, L"19200"},
      {IDC_BAUD_38400, L"38400"},
      {0xFFFF, W(text::kDialogBaudGroup)},
      {IDC_SAVE_LOG, W(text::kDialogSaveLog)},
      {IDC_SENSOR_COUNT, L"17"},
      {0xFFFF, W(text::kDialogSensorCount)},
      {0xFFFF, W(text::kDialogSensorRange)}};
  std::size_t i = 0;
  for (HWND child = GetWindow(dialog_, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT), ++i) {
    ASSERT_LT(i, controls.size());
    EXPECT_EQ(GetDlgCtrlID(child), controls[i].first) << "control " << i;
    EXPECT_EQ(TextOf(child), controls[i].second) << "control " << i;
  }
  EXPECT_EQ(i, controls.size());
  EXPECT_EQ(LOWORD(SendMessageW(dialog_, DM_GETDEFID, 0, 0)), IDC_CONFIRM);
}

TEST_F(SettingsDialogTest, SensorCountTextsThatDoNotTranslateAreOneSensor) {
  const std::pair<const wchar_t*, int> cases[] = {{L"", 1},           {L"abc", 1},   {L"0", 1},
                                                  {L"4294967296", 1}, {L"1000", 32}, {L"11", 11}};
  for (const auto& [typed, sensors] : cases) {
    if (dialog_ != nullptr) DestroyWindow(dialog_);
    Open();
    Type(typed);
    Command(IDC_CONFIRM);
    EXPECT_FALSE(IsWindowVisible(dialog_)) << "confirm ends the dialog";
    EXPECT_EQ(g_state.sensor_count, sensors) << sensors;
  }
  EXPECT_EQ(g_state.panel_count, 15);
}

}  // namespace
