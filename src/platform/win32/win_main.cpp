// The Windows program: its command line, its window class, its one main window and the message
// loop. Every message goes to the monitor's own procedures first and then to the default
// handling. Options add the outputs (src/outputs, assembled as in every program) and the ledger
// window; without them the program is the monitor alone.
#include "platform/win32/windows_api.h"

#include <shellapi.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/menu_commands.h"
#include "app/platform.h"
#include "app/poll_cycle.h"
#include "app/program_version.h"
#include "app/resource_ids.h"
#include "app/texts.h"
#include "outputs/outputs.h"
#include "platform/win32/keep_awake.h"
#include "platform/win32/ledger_window.h"
#include "platform/win32/program_options.h"
#include "platform/win32/service_window.h"
#include "platform/win32/ticker_timer.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_file_store.h"
#include "platform/win32/win32_serial_port.h"
#include "platform/win32/win32_surface.h"
#include "recording/port_recording.h"
#include "service/carry_over_port.h"
#include "service/run_files.h"
#include "service/run_rotation.h"
#include "service/service_runs.h"

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
// The caption of the program's own messages about its command line and outputs.
const wchar_t kProgramCaption[] = L"wsmon";

// What the options add to the window; null members without them.
LedgerWindow* g_ledger_window = nullptr;
TickerTimer* g_tickers = nullptr;
// Service mode (--run); null without it.
ServiceWindow* g_service = nullptr;
// What the program does once its window is gone (the recording closed, the outputs written
// out); run at the end of the message loop, or at the end of the Windows session, once.
std::function<void()> g_finish;

// After each command and poll of the monitor: the ledger window shows the figures of now, and
// the outputs' work is timed anew.
void AfterMonitorWork() {
  if (g_ledger_window != nullptr) g_ledger_window->Refresh();
  if (g_tickers != nullptr) g_tickers->Run();
}

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  const WindowHandle window = ToWindowHandle(hwnd);
  switch (message) {
    case WM_CREATE:
      CreationSequence(window);
      break;
    case WM_DESTROY:
    case WM_CLOSE:
      if (g_service != nullptr) g_service->BeforeEnd(hwnd);
      ShutdownSequence(window);
      break;
    case WM_ENDSESSION:
      // The session ends (logoff, shutdown) once this returns: the program ends here, as the
      // close box would end it.
      if (wparam != FALSE && g_service != nullptr) {
        g_service->BeforeEnd(hwnd);
        DestroyWindow(hwnd);
        if (g_finish) g_finish();
        return 0;
      }
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
      if (g_service != nullptr) g_service->BeforeCommand(hwnd, LOWORD(wparam));
      MenuCommand(window, LOWORD(wparam));
      if (g_service != nullptr) g_service->AfterCommand(LOWORD(wparam));
      if (LOWORD(wparam) == LedgerWindow::kCommand && g_ledger_window != nullptr) {
        g_ledger_window->Show(hwnd);
      }
      AfterMonitorWork();
      break;
    case WM_TIMER:
      if (wparam == ServiceWindow::kTimerId) {
        if (g_service != nullptr) g_service->OnTimer(hwnd);
      } else {
        PollCycle(window);
      }
      AfterMonitorWork();
      break;
    default:
      break;
  }
  // Afterwards the default handling, always: it lets creation go on and destroys the window
  // after a close.
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

// The arguments after the program's name, in UTF-8.
std::vector<std::string> Arguments() {
  std::vector<std::string> args;
  int count = 0;
  wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
  for (int i = 1; words != nullptr && i < count; ++i) args.push_back(Utf8String(words[i]));
  if (words != nullptr) LocalFree(words);
  return args;
}

void Tell(const std::string& text, UINT icon) {
  MessageBoxW(nullptr, WideString(text).c_str(), kProgramCaption, MB_OK | icon);
}

// What the outputs report goes to the ledger window's status line, and to a debugger.
void Report(const std::string& text) {
  OutputDebugStringW(WideString("wsmon: " + text + "\n").c_str());
  if (g_ledger_window != nullptr) g_ledger_window->Notice(text);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*command_line*/, int show) {
  ProgramOptions options;
  std::string error;
  if (!ParseProgramOptions(Arguments(), &options, &error)) {
    Tell("wsmon: " + error + "\n\nwsmon.exe --help lists the options.", MB_ICONERROR);
    return 2;
  }
  if (options.help || options.version) {
    Tell(options.help ? ProgramUsage() : std::string("wsmon ") + kProgramVersion,
         MB_ICONINFORMATION);
    return 0;
  }

  static Win32Surface surface(instance);
  static Win32SerialPort port;
  static Win32Clock clock;
  static Win32FileStore files;
  static DebugOutputReporter reporter;
  // Service mode keeps what waits at the port across the boundary of two runs.
  static CarryOverPort carry_over(&port);
  SerialPort* const real_port = options.run ? static_cast<SerialPort*>(&carry_over) : &port;
  port.SetComNumbers(options.com);
  g_platform.port = real_port;
  g_platform.report = &reporter;
  g_platform.clock = &clock;
  g_platform.window = &surface;
  g_platform.files = &files;
  // A recording stands between the monitor and its port and clock, everywhere, from the start.
  // The device a port number opens (COMx as --com maps it), as the recording and the JSON
  // header name it.
  const std::map<int, int> com = options.com;
  const auto device_of = [com](int number) {
    const auto mapped = com.find(number);
    return "COM" + std::to_string(mapped == com.end() ? number : mapped->second);
  };
  // With rotation each run has a recording and a JSON Lines file of its own, the first ones
  // named now.
  const bool rotating = options.run && options.rotate;
  const RunFiles record_files("--record", rotating ? options.outputs.record_file : "", true,
                              &files);
  const RunFiles json_files("--json", rotating ? options.outputs.json_file : "", true, &files);
  std::unique_ptr<PortRecording> recording;
  if (!options.outputs.record_file.empty()) {
    FileHandle created = kInvalidFile;
    if (record_files.rotates()) {
      options.outputs.record_file = record_files.Claim(clock.Now(), &error, &created);
    }
    if (!options.outputs.record_file.empty()) {
      recording = PortRecording::Start(&files, options.outputs.record_file,
                                       std::string("wsmon.exe ") + kProgramVersion, &clock,
                                       device_of, Report, &error, created);
    }
    if (!recording) {
      Tell("wsmon: " + error, MB_ICONERROR);
      return 1;
    }
    recording->SetPort(real_port);
    g_platform.port = recording->port();
    g_platform.clock = recording->clock();
    g_platform.dispatch = recording->observer();
  }
  Clock* const monitor_clock = g_platform.clock;

  // The listeners of the monitor's events: the outputs (when asked for), which hear every event
  // before the ledger window reads their ledger, and the hold that keeps Windows awake during a
  // run.
  ReadingFanout readings;
  KeepAwake keep_awake;
  readings.Add(&keep_awake);
  std::unique_ptr<Outputs> outputs;
  std::unique_ptr<LedgerWindow> ledger_window;
  TickerTimer tickers(&clock);
  if (json_files.rotates()) {
    options.outputs.json_file = json_files.Claim(monitor_clock->Now(), &error);
    if (options.outputs.json_file.empty()) {
      Tell("wsmon: " + error, MB_ICONERROR);
      return 1;
    }
  }
  if (options.Any()) {
    outputs = Outputs::Start(
        options.outputs, monitor_clock, [](NoticeSource, const std::string& text) { Report(text); },
        &error);
    if (!outputs) {
      Tell("wsmon: " + error, MB_ICONERROR);
      return 1;
    }
    outputs->SetDeviceName(device_of);
    readings.Add(outputs.get());
    tickers.Add(outputs.get());
    ledger_window = std::make_unique<LedgerWindow>(instance, &outputs->ledger(), monitor_clock);
    g_ledger_window = ledger_window.get();
    g_tickers = &tickers;
  }
  g_platform.readings = &readings;

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
  // The settings are read now: what they keep the outputs from writing is told at once (a
  // service saves whatever they say).
  if (outputs && !options.run) outputs->TellWhatStaysUnwritten();
  if (ledger_window) {
    // The seventh item, after the six of the monitor's own menu, enabled in every state.
    AppendMenuW(GetMenu(hwnd), MF_STRING, LedgerWindow::kCommand, LedgerWindow::kMenuText);
    DrawMenuBar(hwnd);
    tickers.Run();
  }
  ShowWindow(hwnd, show);
  UpdateWindow(hwnd);

  // The service opens the port and starts its first run at once; without a run the program
  // ends, as the Linux program's service does.
  int status = 0;
  RotationSchedule schedule(options.rotation, monitor_clock);
  ServiceRuns runs(
      &carry_over, &schedule, monitor_clock,
      [hwnd](int command, const char*) {
        MenuCommand(ToWindowHandle(hwnd), command);
        AfterMonitorWork();
      },
      Report);
  runs.RotateJson(&json_files, outputs.get());
  runs.RotateRecording(&record_files, recording.get());
  ServiceWindow service(&runs);
  // Once the window is gone: the recording is closed, the outputs write out what they still
  // hold, the hold on sleep ends.
  bool finished = false;
  g_finish = [&] {
    if (finished) return;
    finished = true;
    g_service = nullptr;
    if (recording) recording->Finish();
    g_platform.dispatch = nullptr;
    g_ledger_window = nullptr;
    g_tickers = nullptr;
    g_platform.readings = nullptr;
    outputs.reset();
  };
  // A start that the monitor refused (a screen too small) has asked to end already.
  MSG pending = {};
  const bool ending = PeekMessageW(&pending, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) != FALSE;
  if (options.run && !ending) {
    g_service = &service;
    if (!service.Begin(hwnd)) {
      Report("--run: the port did not open, so no run started");
      status = 1;
      DestroyWindow(hwnd);
    }
  }

  MSG message = {};
  // GetMessage answers -1 on an error; only 0, the quit message, ends the loop normally.
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  g_finish();
  g_finish = nullptr;
  return status != 0 ? status : static_cast<int>(message.wParam);
}
