#include "frontend/headless/headless_main.h"

#include <unistd.h>

#include <cstdio>
#include <string>

#include "frontend/common/monitor_host.h"
#include "frontend/common/simulated_receiver.h"
#include "frontend/common/stop_signals.h"
#include "frontend/headless/escaping.h"
#include "frontend/headless/event_printer.h"
#include "frontend/headless/headless_session.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_file_store.h"
#include "platform/posix/posix_serial_port.h"

int RunHeadless(Options& options) {
  std::string error;
  InstallStopSignals();

  EventPrinter printer(stdout);
  SimulatedReceiver receiver;
  if (options.simulate) {
    const std::string program =
        options.sim_program.empty() ? SiblingProgram("wsmon-sim") : options.sim_program;
    if (!receiver.Start(program, options.sim_args, &error)) {
      std::fprintf(stderr, "wsmon: %s\n", error.c_str());
      return 1;
    }
    printer.Note("sim device " + Escaped(receiver.DevicePath()));
    // Every port that --com did not point elsewhere leads to the simulated receiver.
    const ComPortMap defaults;
    for (int n = ComPortMap::kFirstPort; n <= ComPortMap::kLastPort; ++n) {
      if (options.ports.PathFor(n) == defaults.PathFor(n)) {
        options.ports.Set(n, receiver.DevicePath());
      }
    }
  }

  {
    PosixClock clock;
    PosixSerialPort port(options.ports);
    PosixFileStore files;
    MonitorHost host(&port, &clock, &files);
    host.surface().SetObserver(&printer);
    // The screen a front end without one pretends to have: large enough for the main window.
    host.surface().SetScreenSize(1280, 1024);
    host.Create();
    HeadlessSession session(&host, &printer);
    session.Run(STDIN_FILENO);
    host.surface().SetObserver(nullptr);
  }

  if (options.simulate) {
    for (const std::string& line : receiver.Stop()) printer.Note("sim " + Escaped(line));
  }
  return 0;
}
