// Keeps Windows from going to sleep while a run goes on: a run left alone for a night must not
// stop when the power plan would send the computer to sleep. The screen may still turn off. The
// hold ends with the run, however it ends.
#pragma once

#include "reception/reading_sink.h"

class KeepAwake : public ReadingSink {
 public:
  KeepAwake() = default;
  ~KeepAwake() override { Release(); }
  KeepAwake(const KeepAwake&) = delete;
  KeepAwake& operator=(const KeepAwake&) = delete;

  void OnReading(const ReadingEvent&) override {}
  void OnError(const ErrorEvent&) override {}
  void OnRunStarted() override;
  void OnRunStopped(std::uint32_t) override { Release(); }

  bool holding() const { return holding_; }

 private:
  void Release();

  bool holding_ = false;
};
