#include "platform/win32/win32_surface.h"

#include <cwchar>
#include <string>

#include "app/resource_ids.h"
#include "platform/win32/settings_dialog_proc.h"
#include "platform/win32/wide_text.h"

namespace {

Rect FromRect(const RECT& r) {
  Rect out;
  out.left = static_cast<int>(r.left);
  out.top = static_cast<int>(r.top);
  out.right = static_cast<int>(r.right);
  out.bottom = static_cast<int>(r.bottom);
  return out;
}

LRESULT Send(WindowHandle window, UINT message, WPARAM wparam, LPARAM lparam) {
  return SendMessageW(ToHwnd(window), message, wparam, lparam);
}

// A list box message whose answer is a count, an index or a height. Every failure code (LB_ERR,
// LB_ERRSPACE) reads as kListError, and so does a handle that names no window: a message to one
// is answered with 0, which would pass for an answer.
int AskBox(WindowHandle box, UINT message, WPARAM wparam, LPARAM lparam) {
  if (!IsWindow(ToHwnd(box))) return kListError;
  const LRESULT r = Send(box, message, wparam, lparam);
  return r < 0 ? kListError : static_cast<int>(r);
}

// A list box scrolls sideways only as far as its horizontal extent, which it never sets itself:
// without one, a line wider than the box (a larger system font, a wider substitute font) is cut
// at the right edge with no way to reach the rest. The extent grows to the widest line.
void WidenToLine(HWND box, const wchar_t* line) {
  HDC dc = GetDC(box);
  if (dc == nullptr) return;
  const auto font = reinterpret_cast<HFONT>(SendMessageW(box, WM_GETFONT, 0, 0));
  const HGDIOBJ old = font != nullptr ? SelectObject(dc, font) : nullptr;
  SIZE size = {};
  const BOOL measured = GetTextExtentPoint32W(dc, line, static_cast<int>(wcslen(line)), &size);
  if (old != nullptr) SelectObject(dc, old);
  ReleaseDC(box, dc);
  // A few pixels of room after the last character, as the box leaves before the first.
  constexpr LONG kMargin = 4;
  const LRESULT extent = SendMessageW(box, LB_GETHORIZONTALEXTENT, 0, 0);
  if (measured && size.cx + kMargin > extent) {
    SendMessageW(box, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(size.cx + kMargin), 0);
  }
}

}  // namespace

void Win32Surface::ScreenSize(int* width, int* height) {
  *width = GetSystemMetrics(SM_CXSCREEN);
  *height = GetSystemMetrics(SM_CYSCREEN);
}

Rect Win32Surface::WindowRect(WindowHandle window) {
  RECT r = {};
  GetWindowRect(ToHwnd(window), &r);
  return FromRect(r);
}

bool Win32Surface::ClientRect(WindowHandle window, Rect* out) {
  RECT r = {};
  if (!GetClientRect(ToHwnd(window), &r)) return false;
  *out = FromRect(r);
  return true;
}

void Win32Surface::MoveWindow(WindowHandle window, const Rect& to) {
  ::MoveWindow(ToHwnd(window), to.left, to.top, to.right - to.left, to.bottom - to.top, TRUE);
}

void Win32Surface::Repaint(WindowHandle window) {
  Send(window, WM_PAINT, 0, 0);
}

void Win32Surface::SendClose(WindowHandle window) {
  Send(window, WM_CLOSE, 0, 0);
}

void Win32Surface::PostQuit(int exit_code) {
  PostQuitMessage(exit_code);
}

void Win32Surface::EnableMenuItem(WindowHandle window, int command, int state) {
  ::EnableMenuItem(GetMenu(ToHwnd(window)), static_cast<UINT>(command),
                   MF_BYCOMMAND | static_cast<UINT>(state));
}

void Win32Surface::DrawMenuBar(WindowHandle window) {
  ::DrawMenuBar(ToHwnd(window));
}

void Win32Surface::SetTimer(WindowHandle window, int timer_id, unsigned period_ms) {
  ::SetTimer(ToHwnd(window), static_cast<UINT_PTR>(timer_id), period_ms, nullptr);
}

void Win32Surface::KillTimer(WindowHandle window, int timer_id) {
  ::KillTimer(ToHwnd(window), static_cast<UINT_PTR>(timer_id));
}

int Win32Surface::MessageBox(WindowHandle owner, const char* text, const char* caption,
                             unsigned type) {
  const WideText wide_text(text);
  const WideText wide_caption(caption);
  return ::MessageBoxW(ToHwnd(owner), wide_text.get(), wide_caption.get(), type);
}

int Win32Surface::SettingsDialog(WindowHandle owner) {
  return static_cast<int>(DialogBoxParamW(instance_, MAKEINTRESOURCEW(IDD_SETTINGS), ToHwnd(owner),
                                          SettingsDialogProc, 0));
}

void Win32Surface::Beep(unsigned type) {
  MessageBeep(type);
}

WindowHandle Win32Surface::CreateListBox(WindowHandle parent, const char* caption,
                                         std::uint32_t style, int x, int y, int width, int height) {
  const WideText wide_caption(caption);
  return ToWindowHandle(CreateWindowExW(0, L"LISTBOX", wide_caption.get(), style, x, y, width,
                                        height, ToHwnd(parent), nullptr, instance_, nullptr));
}

void Win32Surface::DestroyWindow(WindowHandle window) {
  ::DestroyWindow(ToHwnd(window));
}

int Win32Surface::AddString(WindowHandle box, const char* line) {
  const WideText wide_line(line);
  // A box that holds its most lines drops its oldest for the new one.
  if (AskBox(box, LB_GETCOUNT, 0, 0) >= kBoxLineLimit) Send(box, LB_DELETESTRING, 0, 0);
  const int index = AskBox(box, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide_line.get()));
  if (index >= 0) WidenToLine(ToHwnd(box), wide_line.get());
  return index;
}

void Win32Surface::ResetContent(WindowHandle box) {
  Send(box, LB_RESETCONTENT, 0, 0);
  Send(box, LB_SETHORIZONTALEXTENT, 0, 0);
}

int Win32Surface::GetCount(WindowHandle box) {
  return AskBox(box, LB_GETCOUNT, 0, 0);
}

int Win32Surface::GetText(WindowHandle box, int index, char* buf, std::size_t cap) {
  if (cap > 0) buf[0] = '\0';
  const WPARAM item = static_cast<WPARAM>(index);
  const int length = AskBox(box, LB_GETTEXTLEN, item, 0);
  if (length < 0) return kListError;

  wchar_t fixed[WideText::kCapacity];
  std::wstring large;  // only for a line longer than any the monitor writes
  wchar_t* wide = fixed;
  if (length >= WideText::kCapacity) {
    large.resize(static_cast<std::size_t>(length) + 1);
    wide = &large[0];
  }
  const LRESULT got = Send(box, LB_GETTEXT, item, reinterpret_cast<LPARAM>(wide));
  if (got < 0) return kListError;
  return Utf8FromWide(wide, static_cast<int>(got), buf, cap);
}

void Win32Surface::SetTopIndex(WindowHandle box, int index) {
  Send(box, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
}

void Win32Surface::SetCurSel(WindowHandle box, int index) {
  Send(box, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int Win32Surface::GetItemHeight(WindowHandle box, int index) {
  return AskBox(box, LB_GETITEMHEIGHT, static_cast<WPARAM>(index), 0);
}

void Win32Surface::Flash(WindowHandle window) {
  FlashWindow(ToHwnd(window), TRUE);
}
