#include "recording/replay_clock.h"

#include "recording/recording_format.h"

void ReplayClock::SetSpeed(double speed) {
  std::lock_guard<std::mutex> lock(mutex_);
  // Whatever ran meanwhile is kept, then counted at the new speed.
  const std::uint32_t elapsed = Elapsed();
  SetLocked(tick_ + elapsed, AddMilliseconds(time_, elapsed));
  speed_ = speed > 0 ? speed : 0;
}

void ReplayClock::Set(std::uint32_t tick, const LocalTime& time) {
  std::lock_guard<std::mutex> lock(mutex_);
  SetLocked(tick, time);
}

void ReplayClock::SetLocked(std::uint32_t tick, const LocalTime& time) {
  tick_ = tick;
  time_ = time;
  real_base_ = real_->TickCount();
}

void ReplayClock::Hold(bool hold) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (hold == held_) return;
  if (hold) {
    const std::uint32_t elapsed = Elapsed();
    SetLocked(tick_ + elapsed, AddMilliseconds(time_, elapsed));
  } else {
    real_base_ = real_->TickCount();
  }
  held_ = hold;
}

std::uint32_t ReplayClock::Elapsed() {
  if (speed_ == 0 || held_) return 0;
  const std::uint32_t real = real_->TickCount() - real_base_;
  return static_cast<std::uint32_t>(static_cast<double>(real) * speed_);
}

std::uint32_t ReplayClock::TickCount() {
  std::lock_guard<std::mutex> lock(mutex_);
  return tick_ + Elapsed();
}

LocalTime ReplayClock::Now() {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::uint32_t elapsed = Elapsed();
  return elapsed == 0 ? time_ : AddMilliseconds(time_, elapsed);
}

long ReplayClock::RealMsUntil(std::uint32_t tick) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (speed_ == 0) return 0;
  // Signed: a tick just passed is no wait, across a wrap of the counter too.
  const auto ahead = static_cast<std::int32_t>(tick - (tick_ + Elapsed()));
  if (ahead <= 0) return 0;
  const double real = static_cast<double>(ahead) / speed_;
  const auto ms = static_cast<long>(real);
  return static_cast<double>(ms) < real ? ms + 1 : ms;
}
