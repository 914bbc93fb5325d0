#include "frontend/terminal/ledger_view.h"

#include <curses.h>

#include <algorithm>

#include "frontend/terminal/canvas.h"
#include "ledger/ledger_table.h"

namespace {

std::string PadLeft(const std::string& text, int width) {
  return std::string(static_cast<std::size_t>(std::max(0, width - static_cast<int>(text.size()))),
                     ' ') +
         text;
}

// The columns that fit in columns cells, the most telling first; each takes a blank before it.
std::vector<bool> ChooseColumns(const ScreenTable& table, const std::vector<int>& width,
                                int columns) {
  std::vector<std::size_t> by_priority(table.columns.size());
  for (std::size_t c = 0; c < by_priority.size(); ++c) by_priority[c] = c;
  std::stable_sort(by_priority.begin(), by_priority.end(), [&table](std::size_t a, std::size_t b) {
    return table.columns[a]->priority < table.columns[b]->priority;
  });
  std::vector<bool> shown(table.columns.size());
  int used = 0;
  for (std::size_t c : by_priority) {
    if (used + 1 + width[c] > columns) continue;
    used += 1 + width[c];
    shown[c] = true;
  }
  return shown;
}

}  // namespace

LedgerTable MakeLedgerTable(const LedgerSnapshot& s, int columns, bool by_delivery) {
  const ScreenTable screen = MakeScreenTable(s, by_delivery);
  // Each column's width: its header's or its widest value's.
  std::vector<int> width(screen.columns.size());
  for (std::size_t c = 0; c < width.size(); ++c) {
    width[c] = static_cast<int>(std::string(screen.columns[c]->header).size());
    for (const std::vector<std::string>& cells : screen.cells) {
      width[c] = std::max(width[c], static_cast<int>(cells[c].size()));
    }
  }
  const std::vector<bool> shown = ChooseColumns(screen, width, columns);

  LedgerTable table;
  for (std::size_t c = 0; c < width.size(); ++c) {
    if (shown[c]) table.header += " " + PadLeft(screen.columns[c]->header, width[c]);
  }
  for (std::size_t r = 0; r < screen.rows.size(); ++r) {
    std::string line;
    for (std::size_t c = 0; c < width.size(); ++c) {
      if (shown[c]) line += " " + PadLeft(screen.cells[r][c], width[c]);
    }
    table.rows.push_back(line);
    table.silent.push_back(screen.rows[r]->silent);
  }
  return table;
}

void LedgerView::Draw(int columns, int rows, std::uint32_t now) {
  erase();
  ledger_->Snapshot(now, snapshot_);
  const RunFigures& run = snapshot_.run;
  const attr_t title = PartAttributes(kTitleColours, A_REVERSE) | A_BOLD;
  FillRow(0, 0, columns, title);
  std::string heading = " Ledger: ";
  if (!run.facts.started) {
    heading += "no run yet; it fills from the start of a run";
  } else {
    // While the receiver is lost no sensor is called silent: the heading says why.
    const bool lost = run.facts.active && !run.facts.port_up;
    heading += std::to_string(run.watched) + " sensors watched, " +
               (lost ? std::string("receiver lost") : std::to_string(run.silent) + " silent") +
               ", " + std::to_string(run.facts.readings) + " readings" +
               (run.facts.active ? "" : ", run ended") + "; by " +
               (by_delivery_ ? "delivery" : "sensor");
  }
  PutText(0, 0, heading, columns, title);

  const LedgerTable table = MakeLedgerTable(snapshot_, columns, by_delivery_);
  PutText(1, 0, table.header, columns, A_BOLD | A_UNDERLINE);
  shown_rows_ = std::max(rows - 3, 1);
  const int count = static_cast<int>(table.rows.size());
  first_ = std::clamp(first_, 0, std::max(count - shown_rows_, 0));
  for (int i = 0; i < shown_rows_ && first_ + i < count; ++i) {
    const auto r = static_cast<std::size_t>(first_ + i);
    const attr_t attributes = table.silent[r] ? A_REVERSE | A_BOLD : A_NORMAL;
    if (table.silent[r]) FillRow(2 + i, 0, columns, attributes);
    PutText(2 + i, 0, table.rows[r], columns, attributes);
  }

  const attr_t keys = PartAttributes(kStatusColours, A_REVERSE);
  FillRow(rows - 1, 0, columns, keys);
  PutText(rows - 1, 1,
          std::string("s: sort by ") + (by_delivery_ ? "sensor" : "delivery") +
              "   Up/Down: scroll   Esc or l: back to the window   ?: help" +
              (count > shown_rows_ ? "   (rows " + std::to_string(first_ + 1) + "-" +
                                         std::to_string(std::min(first_ + shown_rows_, count)) +
                                         " of " + std::to_string(count) + ")"
                                   : ""),
          columns - 1, keys);
}

bool LedgerView::Handle(const Input& in) {
  if (in.kind == Input::kChar) {
    if (in.key == 27 || in.key == 'l' || in.key == 'L') return false;
    if (in.key == 's' || in.key == 'S') {
      by_delivery_ = !by_delivery_;
      first_ = 0;
    }
    return true;
  }
  if (in.kind == Input::kFunction) {
    const int page = std::max(shown_rows_ - 1, 1);
    if (in.key == KEY_UP) first_ -= 1;
    if (in.key == KEY_DOWN) first_ += 1;
    if (in.key == KEY_PPAGE) first_ -= page;
    if (in.key == KEY_NPAGE) first_ += page;
    first_ = std::max(first_, 0);  // the drawing keeps it within the rows
  }
  return true;
}
