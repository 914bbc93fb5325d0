#include "frontend/terminal/reading_history.h"

#include <algorithm>

#include "display/counters.h"

ReadingHistory::ReadingHistory(Clock* clock)
    : clock_(clock), samples_(static_cast<std::size_t>(kSensors) * kPerSensor) {}

int ReadingHistory::Count(int sensor) const {
  return sensor >= 0 && sensor < kSensors ? count_[sensor] : 0;
}

const Sample& ReadingHistory::At(int sensor, int i) const {
  const int oldest = (next_[sensor] - count_[sensor] + kPerSensor) % kPerSensor;
  return samples_[static_cast<std::size_t>(sensor) * kPerSensor +
                  static_cast<std::size_t>((oldest + i) % kPerSensor)];
}

int ReadingHistory::FrameRateTenths(std::uint32_t now) const {
  if (!run_started_) return 0;
  const std::uint32_t window = std::min(now - run_start_, kRateWindowMs);
  if (window == 0) return 0;
  const std::uint32_t newest = now / kBucketMs;
  const std::uint32_t buckets = (window + kBucketMs - 1) / kBucketMs;
  long long frames = 0;
  for (int i = 0; i < kBuckets; ++i) {
    if (newest - bucket_id_[i] < buckets) frames += bucket_frames_[i];
  }
  // frames per second in tenths, rounded half up: frames * 10 * 1000 / window
  return static_cast<int>((frames * 20000 + window) / (2 * window));
}

void ReadingHistory::OnReading(const ReadingEvent& reading) {
  ++data_heard_;
  CountFrame(reading.tick);
  const int s = reading.sensor_id;
  if (s < 0 || s >= kSensors) return;
  Sample& sample =
      samples_[static_cast<std::size_t>(s) * kPerSensor + static_cast<std::size_t>(next_[s])];
  sample.tick = reading.tick;
  sample.has_temperature = reading.has_temperature;
  sample.temperature = static_cast<std::int16_t>(reading.temperature_sixteenths);
  sample.has_humidity = reading.has_humidity;
  sample.humidity = static_cast<std::uint16_t>(reading.humidity_tenths);
  next_[s] = (next_[s] + 1) % kPerSensor;
  count_[s] = std::min(count_[s] + 1, kPerSensor);
  highest_sensor_ = std::max(highest_sensor_, s);
}

void ReadingHistory::OnError(const ErrorEvent& error) {
  // Every error but a failed read was made of bytes that came.
  if (error.code != kErrPortRead) ++data_heard_;
  // Two errors stand for a frame that was cut: a bad check byte, and a sensor id of 32 or more
  // (whose check byte was good).
  if (error.code == kErrBadCheck || error.code == kErrSensorId) CountFrame(error.tick);
}

void ReadingHistory::OnRunStarted() {
  std::fill(std::begin(next_), std::end(next_), 0);
  std::fill(std::begin(count_), std::end(count_), 0);
  std::fill(std::begin(bucket_frames_), std::end(bucket_frames_), 0);
  highest_sensor_ = -1;
  port_came_back_ = false;
  run_started_ = true;
  run_start_ = clock_->TickCount();
  last_tick_ = run_start_;
  // No bucket may pass for one of this run's.
  for (int i = 0; i < kBuckets; ++i) bucket_id_[i] = run_start_ / kBucketMs - kBuckets;
}

void ReadingHistory::OnPortBack(const PortEvent& event) {
  port_came_back_ = true;
  port_back_tick_ = event.tick;
  outage_ms_ = event.outage_ms;
}

void ReadingHistory::CountFrame(std::uint32_t tick) {
  last_tick_ = tick;
  const std::uint32_t id = tick / kBucketMs;
  const int slot = static_cast<int>(id % kBuckets);
  if (bucket_id_[slot] != id) {
    bucket_id_[slot] = id;
    bucket_frames_[slot] = 0;
  }
  ++bucket_frames_[slot];
}
