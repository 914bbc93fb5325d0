// Told around each menu command and each poll cycle, before the monitor acts and after it has
// finished: what it asked of the port and the clock in between belongs to that one message.
// A recording of the port's answers keeps them together by it, so that a replay hands each
// message exactly the answers it had.
#pragma once

class DispatchObserver {
 public:
  virtual ~DispatchObserver() = default;
  virtual void BeginCommand(int command) = 0;
  virtual void BeginPoll() = 0;
  virtual void EndDispatch() = 0;
};
