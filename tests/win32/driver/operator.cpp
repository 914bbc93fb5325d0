#include "operator.h"

LRESULT SendTo(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(window, message, wparam, lparam, SMTO_ABORTIFHUNG, kAnswerTimeoutMs,
                           &result)) {
    return -1;
  }
  return static_cast<LRESULT>(result);
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                    0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr,
                      nullptr);
  return out;
}

std::wstring Wide(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
  return out;
}

Monitor::~Monitor() {
  if (process_ != nullptr) {
    if (WaitExit(0) == -1) Kill();
    CloseHandle(process_);
  }
}

bool Monitor::Start(const std::wstring& program, const std::wstring& work_dir,
                    const std::wstring& desktop) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  std::wstring desktop_name = desktop;
  if (!desktop_name.empty()) startup.lpDesktop = &desktop_name[0];
  PROCESS_INFORMATION info = {};
  std::wstring command_line = L"\"" + program + L"\"";
  if (!CreateProcessW(program.c_str(), &command_line[0], nullptr, nullptr, FALSE, 0, nullptr,
                      work_dir.c_str(), &startup, &info)) {
    return false;
  }
  CloseHandle(info.hThread);
  process_ = info.hProcess;
  pid_ = info.dwProcessId;
  return true;
}

namespace {

struct Search {
  DWORD pid;
  std::wstring class_name;
  std::wstring caption;
  HWND found;
};

BOOL CALLBACK MatchTopLevel(HWND hwnd, LPARAM param) {
  Search* search = reinterpret_cast<Search*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != search->pid) return TRUE;
  wchar_t name[256] = {};
  GetClassNameW(hwnd, name, 256);
  if (search->class_name != name) return TRUE;
  if (Wide(TextOf(hwnd)) != search->caption) return TRUE;
  search->found = hwnd;
  return FALSE;
}

HWND FindTopLevel(DWORD pid, const std::wstring& class_name, const std::wstring& caption) {
  Search search = {pid, class_name, caption, nullptr};
  EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace

HWND Monitor::WaitMainWindow(const std::wstring& title, DWORD timeout_ms) {
  WaitFor(
      [&] {
        main_ = FindTopLevel(pid_, title, title);
        return main_ != nullptr && IsWindowVisible(main_);
      },
      timeout_ms);
  return main_;
}

HWND Monitor::WaitDialog(const std::wstring& caption, DWORD timeout_ms) const {
  HWND dialog = nullptr;
  WaitFor(
      [&] {
        dialog = FindTopLevel(pid_, L"#32770", caption);
        return dialog != nullptr && IsWindowVisible(dialog);
      },
      timeout_ms);
  return dialog;
}

bool Monitor::NoDialog(const std::wstring& caption) const {
  return FindTopLevel(pid_, L"#32770", caption) == nullptr;
}

int Monitor::WaitExit(DWORD timeout_ms) {
  if (process_ == nullptr) return -1;
  if (WaitForSingleObject(process_, timeout_ms) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  GetExitCodeProcess(process_, &code);
  return static_cast<int>(code);
}

void Monitor::Kill() {
  if (process_ != nullptr) TerminateProcess(process_, 99);
}

std::string TextOf(HWND window) {
  wchar_t text[1024] = {};
  const LRESULT n = SendTo(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
  return Utf8(std::wstring(text, static_cast<std::size_t>(n > 0 ? n : 0)));
}

std::string ClassOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return Utf8(name);
}

std::uint32_t StyleOf(HWND window) {
  return static_cast<std::uint32_t>(GetWindowLongW(window, GWL_STYLE));
}

namespace {

BOOL CALLBACK CollectListBox(HWND hwnd, LPARAM param) {
  std::vector<Box>* boxes = reinterpret_cast<std::vector<Box>*>(param);
  const std::string name = ClassOf(hwnd);
  if (CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, name.c_str(), -1, "LISTBOX", -1) ==
      CSTR_EQUAL) {
    boxes->push_back(Box{hwnd, TextOf(hwnd)});
  }
  return TRUE;
}

}  // namespace

std::vector<Box> ListBoxes(HWND parent) {
  std::vector<Box> boxes;
  EnumChildWindows(parent, CollectListBox, reinterpret_cast<LPARAM>(&boxes));
  return boxes;
}

HWND BoxByCaption(HWND parent, const std::string& caption) {
  for (const Box& box : ListBoxes(parent)) {
    if (box.caption == caption) return box.hwnd;
  }
  return nullptr;
}

std::vector<std::string> LinesOf(HWND box) {
  std::vector<std::string> lines;
  const LRESULT count = SendTo(box, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    const LRESULT length = SendTo(box, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
    if (length < 0) break;
    std::wstring line(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT got =
        SendTo(box, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&line[0]));
    line.resize(static_cast<std::size_t>(got > 0 ? got : 0));
    lines.push_back(Utf8(line));
  }
  return lines;
}

std::string MessageBoxText(HWND box) {
  // The text of a message box is its static control 0xFFFF.
  const HWND text = GetDlgItem(box, 0xFFFF);
  return text != nullptr ? TextOf(text) : std::string();
}

void AnswerOk(HWND box) {
  PostMessageW(box, WM_COMMAND, IDOK, 0);
}

void ChooseByMnemonic(HWND main, wchar_t letter) {
  PostMessageW(main, WM_SYSCOMMAND, SC_KEYMENU, static_cast<LPARAM>(letter));
}

void ChooseCommand(HWND main, int command) {
  PostMessageW(main, WM_COMMAND, static_cast<WPARAM>(command), 0);
}

void Click(HWND dialog, int control_id) {
  PostMessageW(GetDlgItem(dialog, control_id), BM_CLICK, 0, 0);
}

bool IsChecked(HWND dialog, int control_id) {
  return SendTo(GetDlgItem(dialog, control_id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TypeInto(HWND dialog, int control_id, const std::string& text) {
  const std::wstring wide = Wide(text);
  SendTo(GetDlgItem(dialog, control_id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

std::string ControlText(HWND dialog, int control_id) {
  const HWND control = GetDlgItem(dialog, control_id);
  return control != nullptr ? TextOf(control) : std::string();
}
