#include "frontend/terminal/terminal_main.h"

#include <langinfo.h>
#include <sys/stat.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "app/platform.h"
#include "frontend/common/open_failure_text.h"
#include "frontend/common/port_loss_text.h"
#include "frontend/common/recording_start.h"
#include "frontend/common/simulated_receiver.h"
#include "frontend/common/stop_signals.h"
#include "frontend/terminal/canvas.h"
#include "frontend/terminal/reading_history.h"
#include "frontend/terminal/terminal.h"
#include "frontend/terminal/terminal_session.h"
#include "outputs/outputs.h"
#include "platform/memory/monitor_host.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_file_store.h"
#include "platform/posix/posix_serial_port.h"
#include "recording/replay_player.h"

namespace {

// What goes to standard error once the terminal is back, in this order.
struct ToldAfterwards {
  // Why the port was lost (or another device found at its path), in order: the first
  // kLossesTold, and how many more.
  static constexpr std::size_t kLossesTold = 20;

  void Loss(const std::string& reason) {
    if (losses.size() < kLossesTold) {
      losses.push_back(reason);
    } else {
      ++more_losses;
    }
  }
  void Print() const {
    for (const std::string& text : network_said) std::fprintf(stderr, "wsmon: %s\n", text.c_str());
    for (const std::string& reason : failures) std::fprintf(stderr, "wsmon: %s\n", reason.c_str());
    for (const std::string& reason : losses) std::fprintf(stderr, "wsmon: %s\n", reason.c_str());
    if (more_losses > 0) std::fprintf(stderr, "wsmon: and %ld more outages\n", more_losses);
    for (const std::string& message : unshown) std::fprintf(stderr, "wsmon: %s\n", message.c_str());
    for (const std::string& line : replay) std::fprintf(stderr, "wsmon: %s\n", line.c_str());
    for (const std::string& line : recording) std::fprintf(stderr, "wsmon: %s\n", line.c_str());
    for (const std::string& text : files_said) std::fprintf(stderr, "wsmon: %s\n", text.c_str());
  }

  std::vector<std::string> network_said;
  std::vector<std::string> failures;  // why ports did not open, in order
  std::vector<std::string> losses;
  long more_losses = 0;
  std::vector<std::string> unshown;
  std::vector<std::string> replay;      // how far a recording was played
  std::vector<std::string> recording;   // what went wrong with the recording's file
  std::vector<std::string> files_said;  // what the monitor told of its files and recoveries
};

// Where what the monitor tells goes: the session's screen while the terminal shows it, and
// standard error (in the order of ToldAfterwards) once the terminal is back.
struct Telling {
  void Show(const std::string& text, bool while_port_lost = false) const {
    if (shown_in != nullptr) shown_in->ShowNotice(text, while_port_lost);
  }

  TerminalSession* shown_in = nullptr;
  ToldAfterwards told;
};

// Why the port did not open goes into the message box that says so; why it was lost (or
// another device found at its path) to the status line while it is lost, and afterwards.
void ListenToPort(PosixSerialPort* port, Telling* telling) {
  port->SetOpenFailureListener([telling](const OpenFailure& f) {
    if (telling->shown_in != nullptr) telling->shown_in->TellOpenFailure(DescribeOpenFailure(f));
  });
  const auto tell_loss = [telling](const std::string& reason) {
    telling->told.Loss(reason);
    telling->Show(reason, true);
  };
  port->SetLossListener([tell_loss](const PortLoss& loss) { tell_loss(DescribePortLoss(loss)); });
  port->SetOtherDeviceListener(
      [tell_loss](const OtherDevice& other) { tell_loss(DescribeOtherDevice(other)); });
}

// The size of a file, 0 when it cannot be found.
std::uint64_t FileBytes(const std::string& path) {
  struct stat file = {};
  return stat(path.c_str(), &file) == 0 ? static_cast<std::uint64_t>(file.st_size) : 0;
}

// The simulated receiver ends, and what it says it sent goes to standard output.
void StopSimulatedReceiver(SimulatedReceiver* receiver) {
  const std::vector<std::string> summary = receiver->Stop();
  if (!summary.empty())
    std::printf("The simulated receiver (%s) sent:\n", receiver->DevicePath().c_str());
  for (const std::string& line : summary) {
    if (line != "summary 1" && line != "end") std::printf("  %s\n", line.c_str());
  }
}

}  // namespace

int RunTerminal(Options& options) {
  std::string error;
  // Before curses starts, so that it leaves the stop signals and the hang-up to the monitor.
  InstallStopSignals();
  ChooseTextLocale();

  // Standard error is the screen: why a port did not open goes into the message box that says
  // so (and to standard error afterwards), why it stopped answering to the status line while
  // it is lost (and to standard error afterwards), what went wrong with an output file to the
  // status line, what the network outputs say to the status line (and to standard error
  // afterwards).
  Telling telling;
  const auto notice = [&telling](NoticeSource source, const std::string& text) {
    if (source == NoticeSource::kNetwork) telling.told.network_said.push_back(text);
    telling.Show(text);
  };
  PosixClock real_clock;
  PosixFileStore files;
  // A replay's recording stands in for the port, and its time for the clock, everywhere.
  const bool replaying = !options.replay.empty();
  ReplayParts replay(&real_clock, options.speed);
  if (replaying && !replay.port.Open(&files, options.replay, &error)) {
    std::fprintf(stderr, "wsmon: %s\n", error.c_str());
    return 2;
  }
  // A recording stands between the monitor and its port and clock, everywhere, from the start.
  std::unique_ptr<PortRecording> recording;
  if (!options.outputs.record_file.empty()) {
    const auto tell = [&telling](const std::string& text) {
      telling.told.recording.push_back(text);
      telling.Show(text);
    };
    recording = StartRecording(options, &files, &real_clock, tell, &error);
    if (!recording) {
      std::fprintf(stderr, "wsmon: %s\n", error.c_str());
      return 1;
    }
  }
  Clock& clock = replaying   ? static_cast<Clock&>(replay.clock)
                 : recording ? *recording->clock()
                             : real_clock;
  std::unique_ptr<Outputs> outputs = Outputs::Start(options.outputs, &clock, notice, &error);
  if (!outputs) {
    std::fprintf(stderr, "wsmon: %s\n", error.c_str());
    return 1;
  }
  // A replay names the device the recorded run opened, as that run's outputs did.
  outputs->SetDeviceName([&options, &replay, replaying](int port_number) {
    return replaying && !replay.port.device().empty() ? replay.port.device()
                                                      : options.ports.PathFor(port_number);
  });
  SimulatedReceiver receiver;
  if (options.simulate &&
      !receiver.StartForPorts(options.sim_program, options.sim_args, &options.ports, &error)) {
    std::fprintf(stderr, "wsmon: %s\n", error.c_str());
    return 1;
  }

  Terminal terminal;
  if (!terminal.Start(&error)) {
    std::fprintf(stderr, "wsmon: %s\n", error.c_str());
    return 1;
  }
  SetUpColours();
  UseLineStyle(ChooseLineStyle(nl_langinfo(CODESET), [](wchar_t c) { return ::wcwidth(c); }));
  {
    PosixSerialPort port(options.ports);
    ListenToPort(&port, &telling);
    // What the monitor tells of its files shows on the status line, and again on standard error
    // once the terminal is back.
    FunctionReporter reporter([&telling](const std::string& text) {
      telling.told.files_said.push_back(text);
      telling.Show(text);
    });
    MonitorHost host(MonitorPort(&port, replaying ? &replay.port : nullptr, recording.get()),
                     &clock, &files);
    if (recording) g_platform.dispatch = recording->observer();
    host.SetReporter(&reporter);
    ReadingHistory history(&clock);
    host.readings().Add(&history);
    host.readings().Add(outputs.get());
    host.AddTicker(outputs.get());
    TerminalSession session(&host, &terminal, &history, &options.ports, &clock, &outputs->ledger());
    telling.shown_in = &session;
    std::string replay_ending;
    ReplayPlayer player(&host, &replay.port, &replay.clock,
                        [&telling, &replay_ending](const std::string& line) {
                          telling.Show(line);
                          if (line.rfind("replay:", 0) == 0) replay_ending = line;
                        });
    if (replaying) {
      session.SetReplay(&player, &replay.port, options.replay, FileBytes(options.replay),
                        options.speed == 0);
    }
    host.Create();
    outputs->TellWhatStaysUnwritten();
    session.Run();
    if (recording) recording->Finish();
    if (!replay_ending.empty()) telling.told.replay.push_back(replay_ending);
    telling.told.unshown = session.unshown();
    telling.told.failures = session.open_failures();
    telling.shown_in = nullptr;
  }
  terminal.Stop();
  outputs.reset();  // what the network outputs say at their end is told afterwards too
  telling.told.Print();
  if (options.simulate) StopSimulatedReceiver(&receiver);
  return 0;
}
