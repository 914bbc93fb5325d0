// What the driver does to the monitor from outside, as an operator would: start it, find its
// windows, read what they show, choose menu commands, fill in the settings dialog and answer
// message boxes. Every wait is bounded.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// Sends a message and waits at most kAnswerTimeoutMs for the answer; -1 without one.
constexpr UINT kAnswerTimeoutMs = 5000;
LRESULT SendTo(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// UTF-16 <-> UTF-8.
std::string Utf8(const std::wstring& text);
std::wstring Wide(const std::string& text);

// Polls condition every 20 ms until it holds or timeout_ms have passed.
template <class Condition>
bool WaitFor(Condition condition, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount() - start >= timeout_ms) return false;
    Sleep(20);
  }
}

// A running monitor process.
class Monitor {
 public:
  Monitor() = default;
  Monitor(const Monitor&) = delete;
  Monitor& operator=(const Monitor&) = delete;
  ~Monitor();

  // Starts program in directory work_dir, on the named desktop (empty: the driver's own), with
  // these arguments (each quoted).
  bool Start(const std::wstring& program, const std::wstring& work_dir,
             const std::wstring& desktop = std::wstring(),
             const std::vector<std::wstring>& args = {});
  // Waits for the main window (class and title both title); nullptr after the time-out.
  HWND WaitMainWindow(const std::wstring& title, DWORD timeout_ms);
  // Waits for a top-level dialog of the monitor (message box or settings dialog) with this
  // caption; nullptr after the time-out.
  HWND WaitDialog(const std::wstring& caption, DWORD timeout_ms) const;
  // True when no top-level dialog with this caption is shown.
  bool NoDialog(const std::wstring& caption) const;
  // Waits for the process to end; its exit code, or -1 when it is still running.
  int WaitExit(DWORD timeout_ms);
  void Kill();
  // Waits for a top-level window of the monitor by class and caption; nullptr after the
  // time-out.
  HWND WaitWindow(const std::wstring& class_name, const std::wstring& caption,
                  DWORD timeout_ms) const;
  HANDLE process() const { return process_; }

 private:
  HANDLE process_ = nullptr;
  DWORD pid_ = 0;
  HWND main_ = nullptr;
};

// The text of a window (caption, or a control's text).
std::string TextOf(HWND window);
std::string ClassOf(HWND window);
std::uint32_t StyleOf(HWND window);

// The LISTBOX children of a window in creation order, with their captions.
struct Box {
  HWND hwnd;
  std::string caption;
};
std::vector<Box> ListBoxes(HWND parent);
// The box with this caption, or nullptr.
HWND BoxByCaption(HWND parent, const std::string& caption);
// The lines of a list box as it returns them (LB_GETCOUNT, LB_GETTEXT).
std::vector<std::string> LinesOf(HWND box);

// A message box: its text, and the OK answer.
std::string MessageBoxText(HWND box);
void AnswerOk(HWND box);

// Chooses a menu command by its mnemonic, as Alt and the letter do.
void ChooseByMnemonic(HWND main, wchar_t letter);
// Chooses a menu command by its identifier, as a click on the item does.
void ChooseCommand(HWND main, int command);

// Clicks a control of a dialog (a push button, radio button or check box).
void Click(HWND dialog, int control_id);
bool IsChecked(HWND dialog, int control_id);
void TypeInto(HWND dialog, int control_id, const std::string& text);
std::string ControlText(HWND dialog, int control_id);

// The first child window of a class, or nullptr.
HWND ChildOfClass(HWND parent, const std::wstring& class_name);

// Controls of another process whose messages carry pointers (a report list view, a status bar):
// Windows passes those on as they are, so the driver lends them memory in that process.
class RemoteControls {
 public:
  explicit RemoteControls(HANDLE process);
  ~RemoteControls();
  RemoteControls(const RemoteControls&) = delete;
  RemoteControls& operator=(const RemoteControls&) = delete;

  // A report list view's column headers, and its rows' texts with each item's parameter.
  std::vector<std::string> Headers(HWND list);
  std::vector<std::vector<std::string>> Rows(HWND list, std::vector<LPARAM>* params);
  // The text of a part of a status bar.
  std::string StatusText(HWND status, int part);

 private:
  // Copies bytes to the lent memory at offset, and back.
  bool Put(std::size_t offset, const void* bytes, std::size_t count);
  std::wstring GetText(std::size_t offset);

  HANDLE process_;
  char* memory_ = nullptr;  // in the other process
};

// Clicks a column's header in a list view of another process, as the mouse would.
void ClickColumnHeader(HWND list, int column);
