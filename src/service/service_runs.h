// What service mode does with the monitor, in either program: it opens the port and starts a run
// at once with the saved settings, and at every boundary of its schedule stops the run (which
// exports it) and starts the next at once; the bytes that come in between are the next run's.
// Each run has a JSON Lines file and a recording of its own when those rotate. The program gives
// the monitor the commands (its Choose) and asks Due from its loop.
#pragma once

#include <functional>
#include <string>

#include "app/clock.h"
#include "outputs/outputs.h"
#include "recording/port_recording.h"
#include "service/carry_over_port.h"
#include "service/run_files.h"
#include "service/run_rotation.h"

class ServiceRuns {
 public:
  // Has the monitor carry out a menu command; why says what asked for it ("rotation"), nullptr
  // for the service's start.
  using Choose = std::function<void(int command, const char* why)>;
  // Told what went wrong with a run's files; the runs go on.
  using Tell = std::function<void(const std::string& text)>;

  // Everything must outlive this; port is the monitor's (under a recording, if any).
  ServiceRuns(CarryOverPort* port, RotationSchedule* schedule, Clock* clock, Choose choose,
              Tell tell)
      : port_(port),
        schedule_(schedule),
        clock_(clock),
        choose_(std::move(choose)),
        tell_(std::move(tell)) {}

  // Each run's JSON Lines go to a file of its own (when files rotate).
  void RotateJson(const RunFiles* files, Outputs* outputs) {
    json_files_ = files;
    outputs_ = outputs;
  }
  // Each run's recording goes to a file of its own (when files rotate).
  void RotateRecording(const RunFiles* files, PortRecording* recording) {
    record_files_ = files;
    recording_ = recording;
  }

  // Opens the port and starts the first run with saving on, whatever the settings say (a
  // service's runs are what it is for). True when a run is in progress; the schedule begins.
  bool Begin();
  // True when a run is in progress and a boundary has passed since it began.
  bool Due() { return running() && schedule_->Due(); }
  // Ends the run at the boundary and starts the next.
  void Rotate();
  // Milliseconds until Due should be asked again, -1 without rotation.
  long MillisecondsToBoundary() { return schedule_->MillisecondsToBoundary(); }

  // The operator started a run: its boundaries count from now.
  void RunStarted() { schedule_->Begin(); }

  // The saving setting as the settings file had it; the service keeps saving on meanwhile.
  int file_save_log() const { return file_save_log_; }
  // The operator changed the settings: their saving setting is the file's from now on, and the
  // service's runs go on saving.
  void SettingsChanged();

 private:
  static bool running();
  // A frame the stopped run began but did not finish goes back to the port, ahead of what came
  // after it, so that the next run reads the whole frame (and its recording holds it).
  void PutBackUnfinishedFrame();
  void SwitchFiles();

  CarryOverPort* port_;
  RotationSchedule* schedule_;
  Clock* clock_;
  Choose choose_;
  Tell tell_;
  const RunFiles* json_files_ = nullptr;
  Outputs* outputs_ = nullptr;
  const RunFiles* record_files_ = nullptr;
  PortRecording* recording_ = nullptr;
  int file_save_log_ = 0;
};
