#include "frontend/headless/headless_main.h"

#include <unistd.h>

#include <cstdio>
#include <string>

#include "frontend/common/csv_export.h"
#include "frontend/common/open_failure_text.h"
#include "frontend/common/simulated_receiver.h"
#include "frontend/common/stop_signals.h"
#include "frontend/headless/escaping.h"
#include "frontend/headless/event_printer.h"
#include "frontend/headless/headless_session.h"
#include "platform/memory/monitor_host.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_file_store.h"
#include "platform/posix/posix_serial_port.h"

namespace {

void TellOnStderr(const std::string& text) {
  std::fprintf(stderr, "wsmon: %s\n", text.c_str());
}

}  // namespace

int RunHeadless(Options& options) {
  std::string error;
  InstallStopSignals();

  EventPrinter printer(stdout);
  SimulatedReceiver receiver;
  if (options.simulate) {
    if (!receiver.StartForPorts(options.sim_program, options.sim_args, &options.ports, &error)) {
      TellOnStderr(error);
      return 1;
    }
    printer.Note("sim device " + Escaped(receiver.DevicePath()));
  }

  {
    PosixClock clock;
    PosixSerialPort port(options.ports);
    PosixFileStore files;
    // The event stream on standard output stays as it is; what went wrong with a port or a CSV
    // file goes to standard error.
    port.SetOpenFailureListener([](const OpenFailure& f) { TellOnStderr(DescribeOpenFailure(f)); });
    CsvExport csv(TellOnStderr);
    MonitorHost host(&port, &clock, &files);
    if (options.csv) host.readings().Add(&csv);
    host.surface().SetObserver(&printer);
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
