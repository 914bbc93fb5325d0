#include "platform/win32/ledger_window.h"

#include <commctrl.h>

#include "app/resource_ids.h"
#include "platform/win32/wide_text.h"

const wchar_t LedgerWindow::kMenuText[] = L"统计(&ledger)";
const wchar_t LedgerWindow::kTitle[] = L"统计(ledger)";
const wchar_t LedgerWindow::kClassName[] = L"wsmon ledger";

namespace {

constexpr int kWidth = 960;
constexpr int kHeight = 520;
// The status line's first part, the run's figures, takes this share of the width; the outputs'
// notice the rest.
constexpr int kRunPartPercent = 55;
// Silent sensors: dark red on a light red.
constexpr COLORREF kSilentText = RGB(160, 0, 0);
constexpr COLORREF kSilentBack = RGB(255, 224, 224);
// Room beside a cell's text, and beside a header's, which the sort mark shares.
constexpr int kCellPadding = 16;
constexpr int kHeaderPadding = 40;

void RegisterOnce(HINSTANCE instance, WNDPROC proc) {
  static bool registered = false;
  if (registered) return;
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = proc;
  window_class.hInstance = instance;
  window_class.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_WSMON));
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  window_class.lpszClassName = LedgerWindow::kClassName;
  registered = RegisterClassW(&window_class) != 0;
}

void SetStatus(HWND status, int part, const std::string& text) {
  const std::wstring wide = WideString(text);
  SendMessageW(status, SB_SETTEXTW, static_cast<WPARAM>(part),
               reinterpret_cast<LPARAM>(wide.c_str()));
}

}  // namespace

LedgerWindow::LedgerWindow(HINSTANCE instance, const Ledger* ledger, Clock* clock)
    : instance_(instance),
      ledger_(ledger),
      clock_(clock),
      snapshot_(std::make_unique<LedgerSnapshot>()) {}

LedgerWindow::~LedgerWindow() {
  if (window_ != nullptr) DestroyWindow(window_);
}

void LedgerWindow::Show(HWND owner) {
  if (window_ == nullptr) {
    RegisterOnce(instance_, Proc);
    // Owned by the main window: above it, minimised and closed with it.
    CreateWindowExW(0, kClassName, kTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                    kWidth, kHeight, owner, nullptr, instance_, this);
    if (window_ == nullptr) return;
    ShowWindow(window_, SW_SHOWNORMAL);
  }
  SetForegroundWindow(window_);
  Refresh();
}

LRESULT CALLBACK LedgerWindow::Proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* self =
        static_cast<LedgerWindow*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    self->window_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<LedgerWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
  return self->Handle(message, wparam, lparam);
}

LRESULT LedgerWindow::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  const HWND hwnd = window_;
  switch (message) {
    case WM_CREATE:
      Create();
      return 0;
    case WM_SIZE:
      Layout();
      return 0;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lparam);
      if (header->hwndFrom == list_ && header->code == NM_CUSTOMDRAW) return CustomDraw(lparam);
      if (header->hwndFrom == list_ && header->code == LVN_COLUMNCLICK) {
        SortBy(reinterpret_cast<const NMLISTVIEW*>(lparam)->iSubItem);
        return 0;
      }
      break;
    }
    case WM_DESTROY:
      // Only this window goes: the monitor and its outputs go on as they were.
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      window_ = list_ = status_ = nullptr;
      columns_.clear();
      cells_.clear();
      silent_.clear();
      status_text_.clear();
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

void LedgerWindow::Create() {
  list_ = CreateWindowExW(0, WC_LISTVIEWW, L"",
                          WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL, 0,
                          0, 0, 0, window_, nullptr, instance_, nullptr);
  SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
               LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_DOUBLEBUFFER);
  status_ = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0,
                            0, 0, window_, nullptr, instance_, nullptr);
  Layout();
  SetStatus(status_, 1, notice_);
}

void LedgerWindow::Layout() {
  if (list_ == nullptr || status_ == nullptr) return;
  RECT client = {};
  GetClientRect(window_, &client);
  SendMessageW(status_, WM_SIZE, 0, 0);
  RECT status = {};
  GetWindowRect(status_, &status);
  const int status_height = status.bottom - status.top;
  MoveWindow(list_, 0, 0, client.right, client.bottom - status_height, TRUE);
  const int parts[2] = {client.right * kRunPartPercent / 100, -1};
  SendMessageW(status_, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
}

LRESULT LedgerWindow::CustomDraw(LPARAM lparam) {
  auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(lparam);
  switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
      return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
      // An item's parameter says whether its sensor is silent.
      if (draw->nmcd.lItemlParam != 0) {
        draw->clrText = kSilentText;
        draw->clrTextBk = kSilentBack;
      }
      return CDRF_NEWFONT;
    default:
      return CDRF_DODEFAULT;
  }
}

void LedgerWindow::SortBy(int column) {
  if (column < 0 || static_cast<std::size_t>(column) >= columns_.size()) return;
  const LedgerFigure* figure = columns_[static_cast<std::size_t>(column)];
  descending_ = figure == sort_by_ ? !descending_ : false;
  sort_by_ = figure;
  Refresh();
  ShowSortMark();
}

void LedgerWindow::ShowColumns(const std::vector<const LedgerFigure*>& columns) {
  SendMessageW(list_, LVM_DELETEALLITEMS, 0, 0);
  while (SendMessageW(list_, LVM_DELETECOLUMN, 0, 0) != FALSE) {
  }
  cells_.clear();
  silent_.clear();
  columns_ = columns;
  for (std::size_t c = 0; c < columns.size(); ++c) {
    std::wstring header = WideString(columns[c]->header);
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT | LVCF_FMT | LVCF_WIDTH;
    column.fmt = c == 0 ? LVCFMT_LEFT : LVCFMT_RIGHT;  // numbers line up on the right
    column.cx = 0;
    column.pszText = &header[0];
    SendMessageW(list_, LVM_INSERTCOLUMNW, c, reinterpret_cast<LPARAM>(&column));
    Fit(static_cast<int>(c), columns[c]->header, kHeaderPadding);
  }
  ShowSortMark();
}

void LedgerWindow::ShowSortMark() {
  const HWND header = reinterpret_cast<HWND>(SendMessageW(list_, LVM_GETHEADER, 0, 0));
  for (std::size_t c = 0; c < columns_.size(); ++c) {
    HDITEMW item = {};
    item.mask = HDI_FORMAT;
    SendMessageW(header, HDM_GETITEMW, c, reinterpret_cast<LPARAM>(&item));
    item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
    if (columns_[c] == sort_by_) item.fmt |= descending_ ? HDF_SORTDOWN : HDF_SORTUP;
    SendMessageW(header, HDM_SETITEMW, c, reinterpret_cast<LPARAM>(&item));
  }
}

void LedgerWindow::SetCell(int row, int column, const std::string& text) {
  std::string& shown = cells_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
  if (shown == text) return;
  shown = text;
  std::wstring wide = WideString(text);
  LVITEMW item = {};
  item.iSubItem = column;
  item.pszText = &wide[0];
  SendMessageW(list_, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  Fit(column, text, kCellPadding);
}

void LedgerWindow::Fit(int column, const std::string& text, int padding) {
  // A column grows to show its widest text whole, its header's included; it never shrinks, so
  // that it does not jump about as the figures change.
  const std::wstring wide = WideString(text);
  const int width = static_cast<int>(SendMessageW(list_, LVM_GETSTRINGWIDTHW, 0,
                                                  reinterpret_cast<LPARAM>(wide.c_str()))) +
                    padding;
  if (width > SendMessageW(list_, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0)) {
    SendMessageW(list_, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), width);
  }
}

void LedgerWindow::Refresh() {
  if (window_ == nullptr) return;
  LedgerSnapshot& s = *snapshot_;
  ledger_->Snapshot(clock_->TickCount(), s);
  ScreenTable table = MakeScreenTable(s, false);
  if (sort_by_ != nullptr) {
    for (std::size_t c = 0; c < table.columns.size(); ++c) {
      if (table.columns[c] == sort_by_) SortScreenTable(&table, s, c, descending_);
    }
  }
  if (table.columns != columns_) ShowColumns(table.columns);

  while (cells_.size() > table.cells.size()) {
    cells_.pop_back();
    silent_.pop_back();
    SendMessageW(list_, LVM_DELETEITEM, cells_.size(), 0);
  }
  for (std::size_t r = 0; r < table.cells.size(); ++r) {
    const bool silent = table.rows[r]->silent;
    const int row = static_cast<int>(r);
    if (r == cells_.size()) {
      LVITEMW item = {};
      item.mask = LVIF_TEXT | LVIF_PARAM;
      item.iItem = row;
      item.pszText = const_cast<wchar_t*>(L"");
      item.lParam = silent ? 1 : 0;
      SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
      cells_.emplace_back(columns_.size());
      silent_.push_back(silent);
    } else if (silent_[r] != silent) {
      LVITEMW item = {};
      item.mask = LVIF_PARAM;
      item.iItem = row;
      item.lParam = silent ? 1 : 0;
      SendMessageW(list_, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
      SendMessageW(list_, LVM_REDRAWITEMS, r, r);
      silent_[r] = silent;
    }
    for (std::size_t c = 0; c < columns_.size(); ++c) {
      SetCell(row, static_cast<int>(c), table.cells[r][c]);
    }
  }
  const std::string status = RunStatusText(s.run);
  if (status != status_text_) {
    status_text_ = status;
    SetStatus(status_, 0, status);
  }
}

void LedgerWindow::Notice(const std::string& text) {
  notice_ = text;
  if (status_ != nullptr) SetStatus(status_, 1, text);
}
