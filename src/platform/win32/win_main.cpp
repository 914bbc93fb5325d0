// The Windows program: its window class, its one main window and the message loop. Every
// message goes to the monitor's own procedures first and then to the default handling.
#include "platform/win32/windows_api.h"

#include <string>

#include "app/main_window.h"
#include "app/menu_commands.h"
#include "app/platform.h"
#include "app/poll_cycle.h"
#include "app/resource_ids.h"
#include "app/texts.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_file_store.h"
#include "platform/win32/win32_serial_port.h"
#include "platform/win32/win32_surface.h"

namespace {

// The window has no place for a line of text besides its message boxes, which the program shows
// only where they always were: why a file could not be written, and which runs were recovered,
// go to the debugger's output (a debugger or a viewer of debug output shows them).
class DebugOutputReporter : public Reporter {
 public:
  void Report(const std::string& text) override {
    const WideText wide(("wsmon: " + text + "\n").c_str());
    OutputDebugStringW(wide.get());
  }
};

constexpr DWORD kMainWindowStyle = WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX;
constexpr int kMainWindowWidth = 1024;
constexpr int kMainWindowHeight = 768;

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  const WindowHandle window = ToWindowHandle(hwnd);
  switch (message) {
    case WM_CREATE:
      CreationSequence(window);
      break;
    case WM_DESTROY:
    case WM_CLOSE:
      ShutdownSequence(window);
      break;
    case WM_SIZE:
      ResizeSequence(window);
      break;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(hwnd, &paint);
      EndPaint(hwnd, &paint);
      break;
    }
    case WM_COMMAND:
      MenuCommand(window, LOWORD(wparam));
      break;
    case WM_TIMER:
      PollCycle(window);
      break;
    default:
      break;
  }
  // Afterwards the default handling, always: it lets creation go on and destroys the window
  // after a close.
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*command_line*/, int show) {
  static Win32Surface surface(instance);
  static Win32SerialPort port;
  static Win32Clock clock;
  static Win32FileStore files;
  static DebugOutputReporter reporter;
  g_platform.port = &port;
  g_platform.report = &reporter;
  g_platform.clock = &clock;
  g_platform.window = &surface;
  g_platform.files = &files;

  const WideText title(text::kWindowTitle);
  WNDCLASSW window_class = {};
  window_class.style = 0;
  window_class.lpfnWndProc = MainWindowProc;
  window_class.hInstance = instance;
  window_class.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_WSMON));
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  window_class.lpszMenuName = MAKEINTRESOURCEW(IDR_MAIN_MENU);
  window_class.lpszClassName = title.get();
  if (RegisterClassW(&window_class) == 0) return 0;

  const HWND hwnd =
      CreateWindowExW(0, title.get(), title.get(), kMainWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                      kMainWindowWidth, kMainWindowHeight, nullptr, nullptr, instance, nullptr);
  if (hwnd == nullptr) return 0;
  ShowWindow(hwnd, show);
  UpdateWindow(hwnd);

  MSG message = {};
  // GetMessage answers -1 on an error; only 0, the quit message, ends the loop normally.
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}
