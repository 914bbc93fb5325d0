#include "operator.h"

#include <commctrl.h>

#include <cwchar>

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
                    const std::wstring& desktop, const std::vector<std::wstring>& args) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  std::wstring desktop_name = desktop;
  if (!desktop_name.empty()) startup.lpDesktop = &desktop_name[0];
  PROCESS_INFORMATION info = {};
  std::wstring command_line = L"\"" + program + L"\"";
  for (const std::wstring& arg : args) command_line += L" \"" + arg + L"\"";
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

HWND Monitor::WaitWindow(const std::wstring& class_name, const std::wstring& caption,
                         DWORD timeout_ms) const {
  HWND window = nullptr;
  WaitFor(
      [&] {
        window = FindTopLevel(pid_, class_name, caption);
        return window != nullptr && IsWindowVisible(window);
      },
      timeout_ms);
  return window;
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

namespace {

struct ClassSearch {
  std::wstring class_name;
  HWND found;
};

BOOL CALLBACK MatchClass(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<ClassSearch*>(param);
  if (Wide(ClassOf(hwnd)) != search->class_name) return TRUE;
  search->found = hwnd;
  return FALSE;
}

// The lent memory: an item or column record first, then the text buffer.
constexpr std::size_t kRemoteBytes = 8192;
constexpr std::size_t kTextOffset = 1024;
constexpr int kTextChars = static_cast<int>((kRemoteBytes - kTextOffset) / sizeof(wchar_t)) - 1;

}  // namespace

HWND ChildOfClass(HWND parent, const std::wstring& class_name) {
  ClassSearch search = {class_name, nullptr};
  EnumChildWindows(parent, MatchClass, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

RemoteControls::RemoteControls(HANDLE process) : process_(process) {
  memory_ = static_cast<char*>(
      VirtualAllocEx(process, nullptr, kRemoteBytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
}

RemoteControls::~RemoteControls() {
  if (memory_ != nullptr) VirtualFreeEx(process_, memory_, 0, MEM_RELEASE);
}

bool RemoteControls::Put(std::size_t offset, const void* bytes, std::size_t count) {
  SIZE_T done = 0;
  return memory_ != nullptr &&
         WriteProcessMemory(process_, memory_ + offset, bytes, count, &done) && done == count;
}

std::wstring RemoteControls::GetText(std::size_t offset) {
  std::wstring text(static_cast<std::size_t>(kTextChars) + 1, L'\0');
  SIZE_T done = 0;
  if (memory_ == nullptr || !ReadProcessMemory(process_, memory_ + offset, &text[0],
                                               text.size() * sizeof(wchar_t), &done))
    return std::wstring();
  text.resize(std::wcslen(text.c_str()));
  return text;
}

std::vector<std::string> RemoteControls::Headers(HWND list) {
  std::vector<std::string> headers;
  const HWND header = reinterpret_cast<HWND>(SendTo(list, LVM_GETHEADER, 0, 0));
  const LRESULT count = SendTo(header, HDM_GETITEMCOUNT, 0, 0);
  for (LRESULT c = 0; c < count; ++c) {
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT;
    column.pszText = reinterpret_cast<wchar_t*>(memory_ + kTextOffset);
    column.cchTextMax = kTextChars;
    const wchar_t none = L'\0';
    if (!Put(0, &column, sizeof column) || !Put(kTextOffset, &none, sizeof none) ||
        SendTo(list, LVM_GETCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(memory_)) <=
            0)
      break;
    headers.push_back(Utf8(GetText(kTextOffset)));
  }
  return headers;
}

std::vector<std::vector<std::string>> RemoteControls::Rows(HWND list, std::vector<LPARAM>* params) {
  std::vector<std::vector<std::string>> rows;
  params->clear();
  const std::size_t columns = Headers(list).size();
  const LRESULT count = SendTo(list, LVM_GETITEMCOUNT, 0, 0);
  for (LRESULT r = 0; r < count; ++r) {
    std::vector<std::string> cells;
    for (std::size_t c = 0; c < columns; ++c) {
      LVITEMW item = {};
      item.iSubItem = static_cast<int>(c);
      item.pszText = reinterpret_cast<wchar_t*>(memory_ + kTextOffset);
      item.cchTextMax = kTextChars;
      if (!Put(0, &item, sizeof item)) return rows;
      const LRESULT length =
          SendTo(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(r), reinterpret_cast<LPARAM>(memory_));
      cells.push_back(length > 0 ? Utf8(GetText(kTextOffset)) : std::string());
    }
    LVITEMW item = {};
    item.mask = LVIF_PARAM;
    item.iItem = static_cast<int>(r);
    SIZE_T done = 0;
    if (!Put(0, &item, sizeof item) ||
        SendTo(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(memory_)) <= 0 ||
        !ReadProcessMemory(process_, memory_, &item, sizeof item, &done))
      return rows;
    rows.push_back(cells);
    params->push_back(item.lParam);
  }
  return rows;
}

std::string RemoteControls::StatusText(HWND status, int part) {
  const wchar_t none = L'\0';
  if (!Put(kTextOffset, &none, sizeof none)) return std::string();
  SendTo(status, SB_GETTEXTW, static_cast<WPARAM>(part),
         reinterpret_cast<LPARAM>(memory_ + kTextOffset));
  return Utf8(GetText(kTextOffset));
}

void ClickColumnHeader(HWND list, int column) {
  const HWND header = reinterpret_cast<HWND>(SendTo(list, LVM_GETHEADER, 0, 0));
  int x = 0;
  for (int c = 0; c < column; ++c) x += static_cast<int>(SendTo(list, LVM_GETCOLUMNWIDTH, c, 0));
  x += static_cast<int>(SendTo(list, LVM_GETCOLUMNWIDTH, column, 0)) / 2;
  RECT client = {};
  GetClientRect(header, &client);
  const LPARAM at = MAKELPARAM(x, client.bottom / 2);
  PostMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageW(header, WM_LBUTTONUP, 0, at);
}
