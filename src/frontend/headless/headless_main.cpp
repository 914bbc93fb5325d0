#include "frontend/headless/headless_main.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "app/platform.h"
#include "frontend/common/open_failure_text.h"
#include "frontend/common/port_loss_text.h"
#include "frontend/common/recording_start.h"
#include "frontend/common/simulated_receiver.h"
#include "frontend/common/stop_signals.h"
#include "frontend/headless/commands.h"
#include "frontend/headless/escaping.h"
#include "frontend/headless/event_printer.h"
#include "frontend/headless/headless_session.h"
#include "frontend/headless/service_heartbeat.h"
#include "frontend/headless/service_session.h"
#include "frontend/headless/stats_lines.h"
#include "outputs/outputs.h"
#include "platform/memory/monitor_host.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_file_store.h"
#include "platform/posix/posix_serial_port.h"
#include "platform/posix/service_notifier.h"
#include "recording/replay_player.h"
#include "service/carry_over_port.h"
#include "service/run_files.h"
#include "service/run_rotation.h"
#include "service/service_runs.h"

namespace {

void TellOnStderr(const std::string& text) {
  std::fprintf(stderr, "wsmon: %s\n", text.c_str());
}

// Whether the file of an option can have a name of its own for each run: it is a regular file,
// or nothing yet. A FIFO or a device is written as it is.
bool RegularOrAbsent(const std::string& file) {
  struct stat st {};
  return ::stat(file.c_str(), &st) != 0 || S_ISREG(st.st_mode);
}

}  // namespace

// NOLINTNEXTLINE(readability-function-cognitive-complexity): steps in the order they happen
int RunHeadless(Options& options) {
  std::string error;
  InstallStopSignals();

  // With the JSON Lines on standard output, they are all it carries: the event lines are not
  // written, and what went wrong with a command goes to standard error.
  const bool json_out = options.outputs.JsonToStandardOutput();
  EventPrinter printer(json_out ? nullptr : stdout);
  if (options.run) printer.LeaveOutWindowEvents();
  PosixClock real_clock;
  PosixFileStore files;
  // A replay's recording stands in for the port, and its time for the clock, everywhere.
  const bool replaying = !options.replay.empty();
  ReplayParts replay(&real_clock, options.speed);
  if (replaying && !replay.port.Open(&files, options.replay, &error)) {
    TellOnStderr(error);
    return 2;
  }
  // With rotation each run has a recording and a JSON Lines file of its own, the first ones
  // named now.
  const bool rotating = options.run && options.rotate;
  const RunFiles record_files("--record", rotating ? options.outputs.record_file : "", true,
                              &files);
  // A recording stands between the monitor and its port and clock, everywhere, from the start.
  std::unique_ptr<PortRecording> recording;
  if (!options.outputs.record_file.empty()) {
    FileHandle created = kInvalidFile;
    if (record_files.rotates()) {
      options.outputs.record_file = record_files.Claim(real_clock.Now(), &error, &created);
      if (options.outputs.record_file.empty()) {
        TellOnStderr(error);
        return 1;
      }
    }
    recording = StartRecording(options, &files, &real_clock, TellOnStderr, &error, created);
    if (!recording) {
      TellOnStderr(error);
      return 1;
    }
  }
  Clock& clock = replaying   ? static_cast<Clock&>(replay.clock)
                 : recording ? *recording->clock()
                             : real_clock;
  const std::string& json_file = options.outputs.json_file;
  const RunFiles json_files("--json", rotating && json_file != "-" ? json_file : "",
                            RegularOrAbsent(json_file), &files);
  if (json_files.rotates()) {
    options.outputs.json_file = json_files.Claim(clock.Now(), &error);
    if (options.outputs.json_file.empty()) {
      TellOnStderr(error);
      return 1;
    }
  }
  std::unique_ptr<Outputs> outputs = Outputs::Start(
      options.outputs, &clock, [](NoticeSource, const std::string& text) { TellOnStderr(text); },
      &error);
  if (!outputs) {
    TellOnStderr(error);
    return 1;
  }
  // A replay names the device the recorded run opened, as that run's outputs did.
  outputs->SetDeviceName([&options, &replay, replaying](int port_number) {
    return replaying && !replay.port.device().empty() ? replay.port.device()
                                                      : options.ports.PathFor(port_number);
  });
  SimulatedReceiver receiver;
  if (options.simulate) {
    if (!receiver.StartForPorts(options.sim_program, options.sim_args, &options.ports, &error)) {
      TellOnStderr(error);
      return 1;
    }
    printer.Note("sim device " + Escaped(receiver.DevicePath()));
  }

  int status = 0;
  {
    PosixSerialPort port(options.ports);
    // Service mode keeps what waits at the port across the boundary of two runs.
    CarryOverPort carry_over(&port);
    // The event stream on standard output stays as it is; what went wrong with a port or an
    // output file goes to standard error.
    port.SetOpenFailureListener([](const OpenFailure& f) { TellOnStderr(DescribeOpenFailure(f)); });
    port.SetLossListener([](const PortLoss& loss) { TellOnStderr(DescribePortLoss(loss)); });
    port.SetOtherDeviceListener([&printer](const OtherDevice& other) {
      TellOnStderr(DescribeOtherDevice(other));
      printer.Note("port other " + Quoted(DescribeIdentity(other.found)));
    });
    MonitorHost host(MonitorPort(&carry_over, replaying ? &replay.port : nullptr, recording.get()),
                     &clock, &files);
    if (recording) g_platform.dispatch = recording->observer();
    FunctionReporter reporter(TellOnStderr);
    host.SetReporter(&reporter);
    StatsPrinter stats(&outputs->ledger(), &printer);
    host.readings().Add(outputs.get());
    host.AddTicker(outputs.get());
    host.readings().Add(&printer);
    if (!json_out) outputs->Add(&stats);
    // A service manager that started the monitor hears from its loop (nothing without one).
    ServiceNotifier notifier = ServiceNotifier::FromEnvironment();
    ServiceHeartbeat heartbeat(&notifier, &outputs->ledger());
    host.AddTicker(&heartbeat);
    host.surface().SetObserver(&printer);
    host.Create();
    if (options.run) {
      RotationSchedule schedule(options.rotation, &clock);
      ServiceRuns runs(
          &carry_over, &schedule, &clock,
          [&host, &printer](int command, const char* why) {
            printer.Note(std::string("> ") + CommandName(command) +
                         (why != nullptr ? std::string(" (") + why + ")" : ""));
            host.Choose(command);
          },
          TellOnStderr);
      runs.RotateJson(&json_files, outputs.get());
      runs.RotateRecording(&record_files, recording.get());
      ServiceSession session(&host, &runs, &printer);
      session.SetHeartbeat(&heartbeat);
      status = session.Run();
    } else {
      // A service run saves whatever the settings say; here they hold as read.
      outputs->TellWhatStaysUnwritten();
      HeadlessSession session(&host, &printer, outputs.get(), json_out ? nullptr : &stats);
      session.SetHeartbeat(&heartbeat);
      if (replaying) {
        ReplayPlayer player(&host, &replay.port, &replay.clock,
                            [&printer](const std::string& line) { printer.Note(line); });
        session.Replay(&player);
        const RecordingReader& reader = replay.port.reader();
        if (reader.state() == RecordingReader::State::kTorn ||
            reader.state() == RecordingReader::State::kDamaged) {
          TellOnStderr(options.replay + ": " + reader.Ending());
        }
      }
      session.Run(STDIN_FILENO);
    }
    if (recording) recording->Finish();
    host.surface().SetObserver(nullptr);
  }
  outputs.reset();

  if (options.simulate) {
    for (const std::string& line : receiver.Stop()) printer.Note("sim " + Escaped(line));
  }
  return status;
}
