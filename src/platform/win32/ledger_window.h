// The ledger window of the Windows program (the menu's 统计(ledger) item): a report list with a
// row per watched sensor and the ids of 32 or more last, the columns of the ledger's screen table
// (ledger/ledger_table.h), silent sensors in red, sorted by a click on a column's header (a second
// click turns the order round). A status line below tells the run's figures (and when the
// receiver's port is lost) and the outputs' latest notice. The program refreshes it after every
// poll and command; closing it changes nothing else.
#pragma once

#include "platform/win32/windows_api.h"

#include <memory>
#include <string>
#include <vector>

#include "app/clock.h"
#include "app/resource_ids.h"
#include "ledger/ledger.h"
#include "ledger/ledger_table.h"

class LedgerWindow {
 public:
  // The menu item's text, and its command.
  static const wchar_t kMenuText[];
  static constexpr int kCommand = CMD_LEDGER;
  // The window's caption and class.
  static const wchar_t kTitle[];
  static const wchar_t kClassName[];

  // ledger and clock must outlive the window.
  LedgerWindow(HINSTANCE instance, const Ledger* ledger, Clock* clock);
  ~LedgerWindow();
  LedgerWindow(const LedgerWindow&) = delete;
  LedgerWindow& operator=(const LedgerWindow&) = delete;

  // Opens the window beside its owner, or brings it to the front when it is open.
  void Show(HWND owner);
  // Shows the ledger's figures of now, when the window is open.
  void Refresh();
  // Shows a notice of the outputs in the status line (kept for a window opened later).
  void Notice(const std::string& text);
  HWND window() const { return window_; }

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
  void Create();
  void Layout();
  LRESULT CustomDraw(LPARAM lparam);
  void SortBy(int column);
  void ShowColumns(const std::vector<const LedgerFigure*>& columns);
  void ShowSortMark();
  void SetCell(int row, int column, const std::string& text);
  void Fit(int column, const std::string& text, int padding);

  HINSTANCE instance_;
  const Ledger* ledger_;
  Clock* clock_;
  HWND window_ = nullptr;
  HWND list_ = nullptr;
  HWND status_ = nullptr;
  std::string notice_;
  const LedgerFigure* sort_by_ = nullptr;  // nullptr: by sensor id
  bool descending_ = false;
  std::unique_ptr<LedgerSnapshot> snapshot_;
  // What the list shows, so that a refresh rewrites only the cells that changed.
  std::vector<const LedgerFigure*> columns_;
  std::vector<std::vector<std::string>> cells_;
  std::vector<bool> silent_;
  std::string status_text_;
};
