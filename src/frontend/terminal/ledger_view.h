// The ledger view: a table over the whole screen with one row per watched sensor and its
// reception figures, silent sensors highlighted, the ids of 32 or more in a last row, redrawn
// live with the polls. It holds as many columns as the width takes, the most telling first
// (readings, delivery, missed, age, bad check bytes, median interval, ...), so 80 columns show
// the core of it and a wider terminal shows more, up to every figure.
//
// Keys: s sorts by sensor or by delivery (the worst first), Up, Down, PgUp and PgDn scroll,
// Esc or l returns to the window.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frontend/terminal/terminal.h"
#include "ledger/ledger.h"

// The table's text for a width: its header line, then a line per row (sensors in the order
// asked for, the refused ids last), each at most columns cells wide, and which rows are silent.
struct LedgerTable {
  std::string header;
  std::vector<std::string> rows;
  std::vector<bool> silent;
};
LedgerTable MakeLedgerTable(const LedgerSnapshot& snapshot, int columns, bool by_delivery);

class LedgerView {
 public:
  explicit LedgerView(const Ledger* ledger) : ledger_(ledger) {}

  void Draw(int columns, int rows, std::uint32_t now);
  // Handles a key; false when the operator leaves the view.
  bool Handle(const Input& in);

 private:
  const Ledger* ledger_;
  bool by_delivery_ = false;
  int first_ = 0;            // the first row shown
  int shown_rows_ = 1;       // rows the last drawing had room for
  LedgerSnapshot snapshot_;  // 8 KB: kept here rather than on the stack at every drawing
};
