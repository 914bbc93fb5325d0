// The status line at the bottom of the screen: the port with its device and rate, the kind of
// receiver the probe found, the run time, how many sensors are silent and the frame rate (during
// an outage how long the device has been lost instead, and for a while after it how long it
// was), and the keys that are not on the menu bar. A narrow screen keeps what matters most: the
// port's state and any outage, the silent sensors, the frame rate, the keys, the rate and run
// time, and only then the device's path, shortened in its middle. A notice to the operator
// stands whole in rows of its own just above the line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frontend/terminal/reading_history.h"
#include "ledger/ledger.h"
#include "platform/posix/com_port_map.h"

// The status line's text for a width: the state at the left, the keys at the right.
struct StatusText {
  std::string state;
  std::string keys;
};

// text shortened in its middle with "…" to at most cells cells (whole when it fits).
std::string ShortenMiddle(const std::string& text, int cells);

class StatusLine {
 public:
  // ledger (may be null) gives the count of silent sensors during a run.
  StatusLine(const ComPortMap* ports, const ReadingHistory* history, const Ledger* ledger)
      : ports_(ports), history_(history), ledger_(ledger) {}

  // A message for the operator (why a port did not open, say), shown until the next menu
  // command or the next notice; one that tells why the port was lost, only while it is.
  void ShowNotice(std::string text, bool while_port_lost = false) {
    notice_ = std::move(text);
    notice_while_port_lost_ = while_port_lost;
  }
  void ClearNotice() { notice_.clear(); }
  // The notice shown now, or an empty text.
  std::string Notice() const;
  // The open command opened this port at this rate (later settings take effect at the next open).
  void PortOpened(int port_number, int baud_index);
  // What the probe and the bytes since the open say of the receiver.
  const char* Receiver() const;

  // What the line says at now, whole, without the notice and the keys.
  std::string State(std::uint32_t now) const;
  // What it says in cells cells.
  StatusText Fit(std::uint32_t now, int cells) const;
  // Draws the line on row and the notice, wrapped, in the rows above it (at most kNoticeRows).
  void Draw(int row, int columns, std::uint32_t now) const;
  // Milliseconds until the line changes by itself (the run time's next second), or -1.
  long MillisecondsToNextChange(std::uint32_t now) const;

  // How long the outage's length is shown once the device is back.
  static constexpr std::uint32_t kReturnShownMs = 10000;
  // The most rows a notice takes; a longer one is cut at the end of the last.
  static constexpr int kNoticeRows = 4;

 private:
  struct Piece;
  std::vector<Piece> Pieces(std::uint32_t now) const;
  bool ShowsReturn(std::uint32_t now) const;

  const ComPortMap* ports_;
  const ReadingHistory* history_;
  const Ledger* ledger_;
  std::string notice_;
  bool notice_while_port_lost_ = false;
  int open_port_ = 0;
  int open_baud_index_ = 0;
  std::uint64_t heard_at_open_ = 0;  // the history's data_heard() at the open
};
