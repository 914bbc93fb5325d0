#include "frontend/terminal/status_line.h"

#include <curses.h>

#include <algorithm>
#include <cstdio>

#include "app/monitor_state.h"
#include "frontend/common/port_loss_text.h"
#include "frontend/terminal/canvas.h"
#include "frontend/terminal/cell_text.h"

namespace {

constexpr char kKeys[] = "F10 menu  g chart  l ledger";

std::string PortText(const ComPortMap& ports, int port_number, int baud_index) {
  const int index =
      baud_index < 0 ? 0 : (baud_index >= kBaudRateCount ? kBaudRateCount - 1 : baud_index);
  const std::string path = ports.PathFor(port_number);
  return "COM" + std::to_string(port_number) + " " + (path.empty() ? "(no device)" : path) + " " +
         std::to_string(BaudRates[index]) + " baud";
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

}  // namespace

std::string StatusLine::Port(int port_number, int baud_index) const {
  return replay_file_.empty() ? PortText(*ports_, port_number, baud_index)
                              : "replay of " + replay_file_;
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

std::string StatusLine::State(std::uint32_t now) const {
  if (g_state.port_open != 1) {
    return Port(g_state.port_number, g_state.baud_index) + ", port closed";
  }
  std::string text = Port(open_port_, open_baud_index_) + ", " + Receiver();
  if (g_state.running != 1 || !history_->run_started()) {
    return text + (g_state.port_lost == 1 ? ", device lost, stopped" : ", stopped");
  }
  text += ", run " + Elapsed(now, history_->run_start());
  if (g_state.port_lost == 1) {
    return text + ", device lost " + Elapsed(now, g_state.port_lost_tick) + ", waiting";
  }
  if (ShowsReturn(now)) {
    return text + ", reconnected after " + OutageSeconds(history_->outage_ms()) + " s";
  }
  const int rate = history_->FrameRateTenths(now);
  // Before the frame rate, which a narrow screen cuts first.
  const int silent = ledger_ != nullptr ? ledger_->RunFiguresAt(now).silent : 0;
  if (silent > 0) text += ", " + std::to_string(silent) + " silent";
  return text + ", " + std::to_string(rate / 10) + "." + std::to_string(rate % 10) + " frames/s";
}

bool StatusLine::ShowsReturn(std::uint32_t now) const {
  return history_->port_came_back() && now - history_->port_back_tick() < kReturnShownMs;
}

void StatusLine::Draw(int row, int columns, std::uint32_t now) const {
  const attr_t normal = PartAttributes(kStatusColours, A_REVERSE);
  FillRow(row, 0, columns, normal);
  const int used = PutText(row, 1, State(now), columns - 1, normal);
  const int keys_width = static_cast<int>(sizeof kKeys) - 1;
  if (!notice_.empty() && (!notice_while_port_lost_ || g_state.port_lost == 1)) {
    const int left = used + 3;
    PutText(row, left, " " + notice_ + " ", columns - left, PartAttributes(kNoticeColours, A_BOLD));
  } else if (used + 2 + keys_width <= columns) {
    PutText(row, columns - keys_width, kKeys, keys_width, normal);
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
