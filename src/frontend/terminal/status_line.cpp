#include "frontend/terminal/status_line.h"

#include <curses.h>

#include <cstdio>

#include "app/monitor_state.h"
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

}  // namespace

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
    return PortText(*ports_, g_state.port_number, g_state.baud_index) + ", port closed";
  }
  std::string text = PortText(*ports_, open_port_, open_baud_index_) + ", " + Receiver();
  if (g_state.running != 1 || !history_->run_started()) return text + ", stopped";
  const std::uint32_t seconds = (now - history_->run_start()) / 1000;
  const int rate = history_->FrameRateTenths(now);
  char run[64];
  std::snprintf(run, sizeof run, ", run %u:%02u:%02u", seconds / 3600, seconds / 60 % 60,
                seconds % 60);
  text += run;
  // Before the frame rate, which a narrow screen cuts first.
  const int silent = ledger_ != nullptr ? ledger_->RunFiguresAt(now).silent : 0;
  if (silent > 0) text += ", " + std::to_string(silent) + " silent";
  std::snprintf(run, sizeof run, ", %d.%d frames/s", rate / 10, rate % 10);
  return text + run;
}

void StatusLine::Draw(int row, int columns, std::uint32_t now) const {
  const attr_t normal = PartAttributes(kStatusColours, A_REVERSE);
  FillRow(row, 0, columns, normal);
  const int used = PutText(row, 1, State(now), columns - 1, normal);
  const int keys_width = static_cast<int>(sizeof kKeys) - 1;
  if (!notice_.empty()) {
    const int left = used + 3;
    PutText(row, left, " " + notice_ + " ", columns - left, PartAttributes(kNoticeColours, A_BOLD));
  } else if (used + 2 + keys_width <= columns) {
    PutText(row, columns - keys_width, kKeys, keys_width, normal);
  }
}

long StatusLine::MillisecondsToNextChange(std::uint32_t now) const {
  if (g_state.running != 1 || !history_->run_started()) return -1;
  return 1000 - static_cast<long>((now - history_->run_start()) % 1000);
}
