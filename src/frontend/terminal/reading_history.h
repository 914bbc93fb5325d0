// The readings of the current run as the chart and the status line need them: for each sensor id
// its last kPerSensor readings, in rings allocated once at start so that nothing is allocated
// while the monitor polls; when the run started; the frames of the last ten seconds; and the
// port's latest return after an outage.
#pragma once

#include <cstdint>
#include <vector>

#include "app/clock.h"
#include "app/monitor_state.h"
#include "reception/reading_sink.h"

struct Sample {
  std::uint32_t tick = 0;
  std::int16_t temperature = 0;  // sixteenths of a degree
  std::uint16_t humidity = 0;    // tenths of a percent
  bool has_temperature = false;
  bool has_humidity = false;
};

class ReadingHistory : public ReadingSink {
 public:
  static constexpr int kPerSensor = 10000;
  static constexpr int kSensors = kSensorIdLimit;
  // The frame rate is taken over this many milliseconds, in buckets of kBucketMs.
  static constexpr std::uint32_t kRateWindowMs = 10000;
  static constexpr std::uint32_t kBucketMs = 100;

  explicit ReadingHistory(Clock* clock);

  // Readings kept for a sensor, and the i-th of them, oldest first.
  int Count(int sensor) const;
  const Sample& At(int sensor, int i) const;
  // The highest sensor id heard from in this run, or -1.
  int HighestSensor() const { return highest_sensor_; }
  bool run_started() const { return run_started_; }
  std::uint32_t run_start() const { return run_start_; }
  // The tick of the run's latest frame (the start while none came).
  std::uint32_t last_tick() const { return last_tick_; }
  // Readings and error events made of received bytes, since the program started (runs and port
  // sessions alike): a count that grows once the receiver has sent anything.
  std::uint64_t data_heard() const { return data_heard_; }
  // Frames cut (good or not) per second over the last ten seconds of the run, in tenths.
  int FrameRateTenths(std::uint32_t now) const;
  // Whether the port came back after an outage in this run; when it last did, and how long it
  // had been away.
  bool port_came_back() const { return port_came_back_; }
  std::uint32_t port_back_tick() const { return port_back_tick_; }
  std::uint32_t outage_ms() const { return outage_ms_; }

  void OnReading(const ReadingEvent& reading) override;
  void OnError(const ErrorEvent& error) override;
  void OnRunStarted() override;
  void OnPortBack(const PortEvent& event) override;

 private:
  static constexpr int kBuckets = static_cast<int>(kRateWindowMs / kBucketMs);
  void CountFrame(std::uint32_t tick);

  Clock* clock_;
  std::vector<Sample> samples_;  // kSensors rings of kPerSensor
  int next_[kSensors] = {};      // where the next sample of a ring goes
  int count_[kSensors] = {};
  int highest_sensor_ = -1;
  bool run_started_ = false;
  std::uint32_t run_start_ = 0;
  std::uint32_t last_tick_ = 0;
  std::uint64_t data_heard_ = 0;
  bool port_came_back_ = false;
  std::uint32_t port_back_tick_ = 0;
  std::uint32_t outage_ms_ = 0;
  std::uint32_t bucket_id_[kBuckets] = {};
  int bucket_frames_[kBuckets] = {};
};
