// The clock of a replay: the recording's own time. It stands at each record's time while the
// record's message is played, so that the monitor reads exactly the times it read when the
// recording was made; between messages it runs on at the replay's speed, or, as fast as the
// machine goes, jumps straight to the next message. The outputs' threads may read it while the
// monitor's thread sets it.
#pragma once

#include <cstdint>
#include <mutex>

#include "app/clock.h"

class ReplayClock : public Clock {
 public:
  // real: what measures the replay's own time (only its tick count is read).
  explicit ReplayClock(Clock* real) : real_(real) {}

  // Times the recording's speed; 0: as fast as the machine goes (the clock moves only to the
  // recording's times).
  void SetSpeed(double speed);
  double speed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return speed_;
  }
  // The recording's time is now this.
  void Set(std::uint32_t tick, const LocalTime& time);
  // Stands still (during a message of the recording) or runs on from where it stands.
  void Hold(bool hold);
  // Real milliseconds until the clock reaches tick: 0 when it has, or at once at full speed.
  long RealMsUntil(std::uint32_t tick);

  std::uint32_t TickCount() override;
  LocalTime Now() override;
  // A pause of the monitor takes no time: the recording says when the next answer came.
  void Sleep(std::uint32_t) override {}

 private:
  // Recording milliseconds since the clock was set; with the mutex held.
  std::uint32_t Elapsed();
  void SetLocked(std::uint32_t tick, const LocalTime& time);

  mutable std::mutex mutex_;
  Clock* real_;
  double speed_ = 0;
  bool held_ = false;
  std::uint32_t tick_ = 0;
  LocalTime time_ = {};
  std::uint32_t real_base_ = 0;
};
