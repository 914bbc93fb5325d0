// Hands the monitor's readings to several listeners at once (the terminal's chart, the CSV
// files, ...): the monitor's platform record holds one listener, this one.
#pragma once

#include "reception/reading_sink.h"

class ReadingFanout : public ReadingSink {
 public:
  static constexpr int kMaxListeners = 8;

  // Adds a listener; false when all places are taken. Listeners hear in the order added.
  bool Add(ReadingSink* listener) {
    if (count_ == kMaxListeners || listener == nullptr) return false;
    listeners_[count_++] = listener;
    return true;
  }

  void OnReading(const ReadingEvent& reading) override {
    for (int i = 0; i < count_; ++i) listeners_[i]->OnReading(reading);
  }
  void OnError(const ErrorEvent& error) override {
    for (int i = 0; i < count_; ++i) listeners_[i]->OnError(error);
  }
  void OnRunStarted() override {
    for (int i = 0; i < count_; ++i) listeners_[i]->OnRunStarted();
  }
  void OnExported(const char* file_name) override {
    for (int i = 0; i < count_; ++i) listeners_[i]->OnExported(file_name);
  }
  void OnRunDropped() override {
    for (int i = 0; i < count_; ++i) listeners_[i]->OnRunDropped();
  }
  void OnRunStopped(std::uint32_t tick) override {
    for (int i = 0; i < count_; ++i) listeners_[i]->OnRunStopped(tick);
  }
  void OnPortLost(const PortEvent& event) override {
    for (int i = 0; i < count_; ++i) listeners_[i]->OnPortLost(event);
  }
  void OnPortBack(const PortEvent& event) override {
    for (int i = 0; i < count_; ++i) listeners_[i]->OnPortBack(event);
  }
  void OnRecovered(const RecoveryResult& result) override {
    for (int i = 0; i < count_; ++i) listeners_[i]->OnRecovered(result);
  }
  void OnMonitorStall(const StallEvent& event) override {
    for (int i = 0; i < count_; ++i) listeners_[i]->OnMonitorStall(event);
  }

 private:
  ReadingSink* listeners_[kMaxListeners] = {};
  int count_ = 0;
};
