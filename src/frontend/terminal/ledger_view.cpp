#include "frontend/terminal/ledger_view.h"

#include <curses.h>

#include <algorithm>
#include <cstdio>

#include "display/number_format.h"
#include "frontend/terminal/canvas.h"

namespace {

constexpr char kNone[] = "-";

std::string Count(std::uint64_t n) {
  return std::to_string(n);
}

// Milliseconds as seconds: to 10 ms for intervals (the ledger's own step), to 100 ms for ages;
// halfway rounds up.
std::string Seconds(std::uint32_t ms, int decimals) {
  const std::uint64_t unit = decimals == 2 ? 10 : 100;
  const std::uint64_t steps = (std::uint64_t{ms} + unit / 2) / unit;
  const std::uint64_t per_second = 1000 / unit;
  char text[32];
  std::snprintf(text, sizeof text, "%llu.%0*llu",
                static_cast<unsigned long long>(steps / per_second), decimals,
                static_cast<unsigned long long>(steps % per_second));
  return text;
}

std::string Hundredths(int hundredths) {
  char text[16];
  std::snprintf(text, sizeof text, "%d.%02d", hundredths / 100, hundredths % 100);
  return text;
}

// As the panels show them: one decimal, halfway away from zero.
std::string Temperature(int sixteenths) {
  TextLine line;
  AppendTemperature(line, sixteenths);
  return line.c_str();
}

std::string Humidity(int tenths) {
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

bool HasTemperature(const SensorFigures& s) {
  return s.tally.frames > s.tally.no_temperature;
}
bool HasHumidity(const SensorFigures& s) {
  return s.tally.frames > s.tally.no_humidity;
}

struct Column {
  const char* header;
  int priority;   // the lower, the sooner a narrow screen keeps it
  bool sequence;  // shown only with the sequence byte read
  bool refused;   // the refused ids' row has it
  std::string (*value)(const SensorFigures&);
};

// In the order shown, left to right.
const Column kColumns[] = {
    {"id", 0, false, true,
     [](const SensorFigures& s) {
       return s.row == kRefusedRow ? std::string("32+") : Count(s.row);
     }},
    {"readings", 1, false, true, [](const SensorFigures& s) { return Count(s.tally.frames); }},
    {"noT", 10, false, false, [](const SensorFigures& s) { return Count(s.tally.no_temperature); }},
    {"noRH", 10, false, false, [](const SensorFigures& s) { return Count(s.tally.no_humidity); }},
    {"bad", 5, false, true, [](const SensorFigures& s) { return Count(s.tally.bad_checks); }},
    {"min s", 13, false, false,
     [](const SensorFigures& s) {
       return s.tally.intervals > 0 ? Seconds(s.tally.interval_min_ms, 2) : kNone;
     }},
    {"med s", 6, false, false,
     [](const SensorFigures& s) {
       return s.has_median ? Seconds(s.interval_median_ms, 2) : kNone;
     }},
    {"p95 s", 12, false, false,
     [](const SensorFigures& s) { return s.has_median ? Seconds(s.interval_p95_ms, 2) : kNone; }},
    {"max s", 13, false, false,
     [](const SensorFigures& s) {
       return s.tally.intervals > 0 ? Seconds(s.tally.interval_max_ms, 2) : kNone;
     }},
    {"gaps", 11, false, false, [](const SensorFigures& s) { return Count(s.gaps); }},
    {"missed", 3, false, false,
     [](const SensorFigures& s) { return Count(s.missed + s.missed_open); }},
    {"deliv%", 2, false, false,
     [](const SensorFigures& s) {
       return s.has_delivery ? Hundredths(s.delivery_hundredths) : kNone;
     }},
    {"lost", 7, true, false,
     [](const SensorFigures& s) {
       return s.has_sequence_delivery ? Count(s.tally.sequence_lost) : kNone;
     }},
    {"dup", 9, true, false,
     [](const SensorFigures& s) {
       return s.has_sequence_delivery ? Count(s.tally.sequence_duplicates) : kNone;
     }},
    {"seq%", 8, true, false,
     [](const SensorFigures& s) {
       return s.has_sequence_delivery ? Hundredths(s.sequence_delivery_hundredths) : kNone;
     }},
    {"age s", 4, false, true,
     [](const SensorFigures& s) { return s.has_age ? Seconds(s.age_ms, 1) : kNone; }},
    {"T min", 15, false, false,
     [](const SensorFigures& s) {
       return HasTemperature(s) ? Temperature(s.tally.temperature_min_sixteenths) : kNone;
     }},
    {"T max", 15, false, false,
     [](const SensorFigures& s) {
       return HasTemperature(s) ? Temperature(s.tally.temperature_max_sixteenths) : kNone;
     }},
    {"T", 9, false, false,
     [](const SensorFigures& s) {
       return HasTemperature(s) ? Temperature(s.tally.temperature_last_sixteenths) : kNone;
     }},
    {"RH min", 16, false, false,
     [](const SensorFigures& s) {
       return HasHumidity(s) ? Humidity(s.tally.humidity_min_tenths) : kNone;
     }},
    {"RH max", 16, false, false,
     [](const SensorFigures& s) {
       return HasHumidity(s) ? Humidity(s.tally.humidity_max_tenths) : kNone;
     }},
    {"RH", 9, false, false,
     [](const SensorFigures& s) {
       return HasHumidity(s) ? Humidity(s.tally.humidity_last_tenths) : kNone;
     }},
    {"T!", 14, false, false,
     [](const SensorFigures& s) { return Count(s.tally.implausible_temperatures); }},
    {"RH!", 14, false, false,
     [](const SensorFigures& s) { return Count(s.tally.implausible_humidities); }},
};
constexpr int kColumnCount = static_cast<int>(sizeof kColumns / sizeof kColumns[0]);

// What sorting by delivery compares: the exact share with the sequence byte, the estimate
// otherwise; a sensor without one (nothing heard, or no interval yet) comes first.
int DeliveryKey(const SensorFigures& s) {
  if (s.has_sequence_delivery) return s.sequence_delivery_hundredths;
  return s.has_delivery ? s.delivery_hundredths : -1;
}

std::string PadLeft(const std::string& text, int width) {
  return std::string(static_cast<std::size_t>(std::max(0, width - static_cast<int>(text.size()))),
                     ' ') +
         text;
}

// The watched sensors in the table's order, then the refused ids' row.
std::vector<const SensorFigures*> RowOrder(const LedgerSnapshot& s, bool by_delivery) {
  std::vector<const SensorFigures*> order;
  for (int row = 0; row < kLedgerSensorRows; ++row) {
    if (s.rows[row].watched) order.push_back(&s.rows[row]);
  }
  if (by_delivery) {
    std::stable_sort(order.begin(), order.end(),
                     [](const SensorFigures* a, const SensorFigures* b) {
                       return DeliveryKey(*a) < DeliveryKey(*b);
                     });
  }
  order.push_back(&s.rows[kRefusedRow]);
  return order;
}

// The columns that fit in columns cells, the most telling first; each takes a blank before it.
void ChooseColumns(const int (&width)[kColumnCount], int columns, bool sequence_byte,
                   bool (&shown)[kColumnCount]) {
  int by_priority[kColumnCount];
  for (int c = 0; c < kColumnCount; ++c) by_priority[c] = c;
  std::stable_sort(by_priority, by_priority + kColumnCount,
                   [](int a, int b) { return kColumns[a].priority < kColumns[b].priority; });
  int used = 0;
  for (int c : by_priority) {
    if (kColumns[c].sequence && !sequence_byte) continue;
    if (used + 1 + width[c] > columns) continue;
    used += 1 + width[c];
    shown[c] = true;
  }
}

}  // namespace

LedgerTable MakeLedgerTable(const LedgerSnapshot& s, int columns, bool by_delivery) {
  const std::vector<const SensorFigures*> order = RowOrder(s, by_delivery);

  // Every cell's text, and each column's width: its header's or its widest value's.
  std::vector<std::vector<std::string>> cells(order.size(), std::vector<std::string>(kColumnCount));
  int width[kColumnCount];
  for (int c = 0; c < kColumnCount; ++c) {
    width[c] = static_cast<int>(std::string(kColumns[c].header).size());
    for (std::size_t r = 0; r < order.size(); ++r) {
      const bool refused = order[r]->row == kRefusedRow;
      if (refused && !kColumns[c].refused) continue;
      cells[r][static_cast<std::size_t>(c)] = kColumns[c].value(*order[r]);
      width[c] = std::max(width[c], static_cast<int>(cells[r][static_cast<std::size_t>(c)].size()));
    }
  }
  bool shown[kColumnCount] = {};
  ChooseColumns(width, columns, s.run.facts.sequence_byte, shown);

  LedgerTable table;
  for (int c = 0; c < kColumnCount; ++c) {
    if (shown[c]) table.header += " " + PadLeft(kColumns[c].header, width[c]);
  }
  for (std::size_t r = 0; r < order.size(); ++r) {
    std::string line;
    for (int c = 0; c < kColumnCount; ++c) {
      if (shown[c]) line += " " + PadLeft(cells[r][static_cast<std::size_t>(c)], width[c]);
    }
    table.rows.push_back(line);
    table.silent.push_back(order[r]->silent);
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
    heading += std::to_string(run.watched) + " sensors watched, " + std::to_string(run.silent) +
               " silent, " + std::to_string(run.facts.readings) + " readings" +
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
              "   Up/Down: scroll   Esc or l: back to the window" +
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
