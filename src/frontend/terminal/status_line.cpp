#include "frontend/terminal/status_line.h"

#include <curses.h>

#include <algorithm>
#include <cstdio>

#include "app/monitor_state.h"
#include "display/utf8.h"
#include "frontend/common/port_loss_text.h"
#include "frontend/terminal/canvas.h"
#include "frontend/terminal/cell_text.h"

namespace {

// The keys the menu bar does not show: the few that lead to the rest, and all of them.
constexpr char kSomeKeys[] = "F10 menu  ? help";
constexpr char kAllKeys[] = "F10 menu  g chart  l ledger  ? help";
constexpr int kKeysGap = 2;
// A path shortened below this many cells tells too little to be worth its room.
constexpr int kLeastPathCells = 12;

// What the line gives its room to, the most important first. Pieces of kAlways are always shown.
enum Importance { kAlways, kSilent, kRate, kSomeKeysShown, kBaud, kRunTime, kPath, kKind, kAll };

int Cells(const std::string& text) {
  return CellWidth(WideText(text));
}

// Whole seconds since a tick as H:MM:SS.
std::string Elapsed(std::uint32_t now, std::uint32_t since) {
  const std::uint32_t seconds = (now - since) / 1000;
  char text[32];
  std::snprintf(text, sizeof text, "%u:%02u:%02u", seconds / 3600, seconds / 60 % 60, seconds % 60);
  return text;
}

// Milliseconds until the whole seconds since a tick move on.
long ToNextSecond(std::uint32_t now, std::uint32_t since) {
  return 1000 - static_cast<long>((now - since) % 1000);
}

// The keys shown instead of those shown so far, where the room left takes them.
void FitKeys(const std::string& keys, int cells, int* used, std::string* shown) {
  const int more = Cells(keys) - (shown->empty() ? -kKeysGap : Cells(*shown));
  if (*used + more <= cells) {
    *used += more;
    *shown = keys;
  }
}

}  // namespace

struct StatusLine::Piece {
  // Shown when the room left takes it, a path shortened to that room; the cells it took.
  int Take(int room) {
    if (path && Cells(text) > room && room >= kLeastPathCells + 1) {
      text = " " + ShortenMiddle(text.substr(1), room - 1);
    }
    const int width = Cells(text);
    if (width > room) return 0;
    shown = true;
    return width;
  }

  std::string text;
  Importance importance;
  bool path = false;  // shortened to the room left rather than left out
  bool shown = false;
};

std::string ShortenMiddle(const std::string& text, int cells) {
  if (Cells(text) <= cells) return text;
  if (cells <= 1) return cells == 1 ? "…" : "";
  // The text's characters with their bytes, so that what is kept stays UTF-8.
  std::vector<std::pair<std::string, int>> characters;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = std::clamp<std::size_t>(
        Utf8LeadLength(static_cast<std::uint8_t>(text[i])), 1, text.size() - i);
    const std::string bytes = text.substr(i, length);
    characters.emplace_back(bytes, Cells(bytes));
    i += length;
  }
  // More of the end than of the beginning: a device path's end tells devices apart.
  std::string head;
  int room = (cells - 1) / 3;
  std::size_t front = 0;
  for (; front < characters.size() && characters[front].second <= room; ++front) {
    room -= characters[front].second;
    head += characters[front].first;
  }
  room += cells - 1 - (cells - 1) / 3;
  std::size_t back = characters.size();
  while (back > front && characters[back - 1].second <= room) room -= characters[--back].second;
  std::string tail;
  for (std::size_t i = back; i < characters.size(); ++i) tail += characters[i].first;
  return head + "…" + tail;
}

void StatusLine::PortOpened(int port_number, int baud_index) {
  open_port_ = port_number;
  open_baud_index_ = baud_index;
  heard_at_open_ = history_->data_heard();
}

const char* StatusLine::Receiver() const {
  // The probe's echo shows an echoing receiver at once. Silence after the probe is all a plain
  // receiver gives, and all that an empty port gives too: it is one once its bytes have come.
  if (g_state.rx_skip != 0) return "echoing receiver";
  return history_->data_heard() != heard_at_open_ ? "plain receiver" : "no data yet";
}

std::string StatusLine::Notice() const {
  return notice_while_port_lost_ && g_state.port_lost != 1 ? std::string() : notice_;
}

std::vector<StatusLine::Piece> StatusLine::Pieces(std::uint32_t now) const {
  const bool open = g_state.port_open == 1;
  const int port = open ? open_port_ : g_state.port_number;
  const int baud = std::clamp(open ? open_baud_index_ : g_state.baud_index, 0, kBaudRateCount - 1);
  std::vector<Piece> pieces;
  if (!replay_file_.empty()) {
    // A recording stands in the port's place: its file is what tells one run from another.
    pieces = {{"replay of", kAlways}, {" " + replay_file_, kPath, true}};
  } else {
    const std::string path = ports_->PathFor(port);
    pieces = {
        {"COM" + std::to_string(port), kAlways},
        {" " + (path.empty() ? std::string("(no device)") : path), kPath, true},
        {" " + std::to_string(BaudRates[baud]) + " baud", kBaud},
    };
  }
  if (!open) {
    pieces.push_back({", port closed", kAlways});
    return pieces;
  }
  pieces.push_back({std::string(", ") + Receiver(), kKind});
  if (g_state.running != 1 || !history_->run_started()) {
    pieces.push_back({g_state.port_lost == 1 ? ", device lost, stopped" : ", stopped", kAlways});
    return pieces;
  }
  pieces.push_back({", run " + Elapsed(now, history_->run_start()), kRunTime});
  if (g_state.port_lost == 1) {
    pieces.push_back(
        {", device lost " + Elapsed(now, g_state.port_lost_tick) + ", waiting", kAlways});
  } else if (ShowsReturn(now)) {
    pieces.push_back(
        {", reconnected after " + OutageSeconds(history_->outage_ms()) + " s", kAlways});
  } else {
    const int silent = ledger_ != nullptr ? ledger_->RunFiguresAt(now).silent : 0;
    if (silent > 0) pieces.push_back({", " + std::to_string(silent) + " silent", kSilent});
    const int rate = history_->FrameRateTenths(now);
    pieces.push_back(
        {", " + std::to_string(rate / 10) + "." + std::to_string(rate % 10) + " frames/s", kRate});
  }
  return pieces;
}

std::string StatusLine::State(std::uint32_t now) const {
  std::string text;
  for (const Piece& p : Pieces(now)) text += p.text;
  return text;
}

StatusText StatusLine::Fit(std::uint32_t now, int cells) const {
  std::vector<Piece> pieces = Pieces(now);
  int used = 0;
  for (Piece& p : pieces) {
    p.shown = p.importance == kAlways;
    if (p.shown) used += Cells(p.text);
  }
  StatusText fitted;
  // Each piece in the order of its importance, where the room left takes it.
  for (int importance = kSilent; importance <= kAll; ++importance) {
    if (importance == kSomeKeysShown || importance == kAll) {
      FitKeys(importance == kAll ? kAllKeys : kSomeKeys, cells, &used, &fitted.keys);
      continue;
    }
    for (Piece& p : pieces) {
      if (p.importance == importance) used += p.Take(cells - used);
    }
  }
  for (const Piece& p : pieces) {
    if (p.shown) fitted.state += p.text;
  }
  return fitted;
}

bool StatusLine::ShowsReturn(std::uint32_t now) const {
  return history_->port_came_back() && now - history_->port_back_tick() < kReturnShownMs;
}

void StatusLine::Draw(int row, int columns, std::uint32_t now) const {
  const attr_t normal = PartAttributes(kStatusColours, A_REVERSE);
  FillRow(row, 0, columns, normal);
  const StatusText text = Fit(now, columns - 2);
  PutText(row, 1, text.state, columns - 1, normal);
  const int keys_width = Cells(text.keys);
  if (keys_width > 0) PutText(row, columns - 1 - keys_width, text.keys, keys_width, normal);

  const std::string notice = Notice();
  if (notice.empty()) return;
  std::vector<std::wstring> lines = WrapToCells(WideText(notice), columns - 2);
  if (static_cast<int>(lines.size()) > kNoticeRows) {
    lines.resize(kNoticeRows);
    lines.back() = ClipToCells(lines.back(), columns - 3) + L"…";
  }
  const attr_t attributes = PartAttributes(kNoticeColours, A_BOLD);
  const int first = row - static_cast<int>(lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    FillRow(first + static_cast<int>(i), 0, columns, attributes);
    PutText(first + static_cast<int>(i), 1, lines[i], columns - 2, attributes);
  }
}

long StatusLine::MillisecondsToNextChange(std::uint32_t now) const {
  if (g_state.running != 1 || !history_->run_started()) return -1;
  const long run = ToNextSecond(now, history_->run_start());
  if (g_state.port_lost == 1) return std::min(run, ToNextSecond(now, g_state.port_lost_tick));
  if (ShowsReturn(now)) {
    return std::min(run, static_cast<long>(kReturnShownMs - (now - history_->port_back_tick())));
  }
  return run;
}
