// The window surface of the Windows program: real windows, a real menu and window timer, and
// captioned LISTBOX children, all through the wide-character functions.
#pragma once

#include "platform/win32/windows_api.h"

#include "display/window_surface.h"

// Window handles cross the core as plain integers.
inline WindowHandle ToWindowHandle(HWND hwnd) {
  return reinterpret_cast<WindowHandle>(hwnd);
}
inline HWND ToHwnd(WindowHandle window) {
  return reinterpret_cast<HWND>(window);
}

class Win32Surface : public WindowSurface {
 public:
  // instance: the module whose resources hold the settings dialog.
  explicit Win32Surface(HINSTANCE instance) : instance_(instance) {}

  void ScreenSize(int* width, int* height) override;
  Rect WindowRect(WindowHandle window) override;
  bool ClientRect(WindowHandle window, Rect* out) override;
  void MoveWindow(WindowHandle window, const Rect& to) override;
  void Repaint(WindowHandle window) override;
  void SendClose(WindowHandle window) override;
  void PostQuit(int exit_code) override;
  void EnableMenuItem(WindowHandle window, int command, int state) override;
  void DrawMenuBar(WindowHandle window) override;
  void SetTimer(WindowHandle window, int timer_id, unsigned period_ms) override;
  void KillTimer(WindowHandle window, int timer_id) override;
  int MessageBox(WindowHandle owner, const char* text, const char* caption, unsigned type) override;
  int SettingsDialog(WindowHandle owner) override;
  void Beep(unsigned type) override;
  WindowHandle CreateListBox(WindowHandle parent, const char* caption, std::uint32_t style, int x,
                             int y, int width, int height) override;
  void DestroyWindow(WindowHandle window) override;
  int AddString(WindowHandle box, const char* line) override;
  void ResetContent(WindowHandle box) override;
  int GetCount(WindowHandle box) override;
  int GetText(WindowHandle box, int index, char* buf, std::size_t cap) override;
  void SetTopIndex(WindowHandle box, int index) override;
  void SetCurSel(WindowHandle box, int index) override;
  int GetItemHeight(WindowHandle box, int index) override;
  void Flash(WindowHandle window) override;

 private:
  HINSTANCE instance_;
};
