// Told around each menu command and each poll cycle, before the monitor acts and after it has
// finished: what it asked of the port and the clock in between belongs to that one message.
// A recording of the port's answers keeps them together by it, so that a replay hands each
// message exactly the answers it had.
#pragma once

#include <cstdint>

#include "app/local_time.h"

class DispatchObserver {
 public:
  virtual ~DispatchObserver() = default;
  virtual void BeginCommand(int command) = 0;
  virtual void BeginPoll() = 0;
  virtual void EndDispatch() = 0;
  // The poll under way found the monitor late_ms behind its timer (a stall), at tick and time.
  virtual void Stalled(std::uint32_t tick, const LocalTime& time, std::uint32_t late_ms) {
    (void)tick;
    (void)time;
    (void)late_ms;
  }
};

// Where a replayed poll learns of the monitor's stalls. A replay's clock jumps over the polls
// that found nothing, which a recording leaves out, so its own lateness means nothing: the
// recording tells the stalls that the recorded monitor found, at the same points of its polls.
class StallSource {
 public:
  virtual ~StallSource() = default;
  // How late the recorded monitor was at this point of the poll, in milliseconds; 0 when it
  // found no stall here.
  virtual std::uint32_t TakeStall() = 0;
};
