// Service mode's loop: the monitor opens its port and starts a run at once with the saved
// settings, reads no commands (standard input may be /dev/null), ends each run at the rotation's
// boundaries and starts the next at once, and on a stop request stops the run, which exports
// it, and exits.
#pragma once

#include "frontend/common/carry_over_port.h"
#include "frontend/headless/event_printer.h"
#include "frontend/headless/run_files.h"
#include "frontend/headless/run_rotation.h"
#include "frontend/headless/service_heartbeat.h"
#include "outputs/outputs.h"
#include "platform/memory/monitor_host.h"

class ServiceSession {
 public:
  // Everything must outlive the session; port is the host's port.
  ServiceSession(MonitorHost* host, CarryOverPort* port, EventPrinter* printer, Outputs* outputs,
                 RotationSchedule* schedule, const RunFiles* json_files)
      : host_(host),
        port_(port),
        printer_(printer),
        outputs_(outputs),
        schedule_(schedule),
        json_files_(json_files) {}

  void SetHeartbeat(ServiceHeartbeat* heartbeat) { heartbeat_ = heartbeat; }

  // Runs until a stop request has ended the monitor: 0, or 1 when the first run could not
  // start (the port did not open), the monitor having ended then too.
  int Run();

 private:
  // Ends the run at a boundary and starts the next; the bytes that wait at the port meanwhile
  // are the next run's.
  void Rotate();
  // The exit command, the saving setting put back as the settings file had it.
  void End(StopRequest request, const char* why);

  MonitorHost* host_;
  CarryOverPort* port_;
  EventPrinter* printer_;
  Outputs* outputs_;
  RotationSchedule* schedule_;
  const RunFiles* json_files_;
  ServiceHeartbeat* heartbeat_ = nullptr;
  int saved_save_log_ = 0;
};
