// Service mode's loop: the monitor opens its port and starts a run at once with the saved
// settings, reads no commands (standard input may be /dev/null), ends each run at the rotation's
// boundaries and starts the next at once, and on a stop request stops the run, which exports
// it, and exits.
#pragma once

#include "frontend/headless/event_printer.h"
#include "frontend/headless/service_heartbeat.h"
#include "platform/memory/monitor_host.h"
#include "service/service_runs.h"

class ServiceSession {
 public:
  // Everything must outlive the session; runs gives its commands to host.
  ServiceSession(MonitorHost* host, ServiceRuns* runs, EventPrinter* printer)
      : host_(host), runs_(runs), printer_(printer) {}

  void SetHeartbeat(ServiceHeartbeat* heartbeat) { heartbeat_ = heartbeat; }

  // Runs until a stop request has ended the monitor: 0, or 1 when the first run could not
  // start (the port did not open), the monitor having ended then too.
  int Run();

 private:
  // The exit command, the saving setting put back as the settings file had it.
  void End(StopRequest request, const char* why);

  MonitorHost* host_;
  ServiceRuns* runs_;
  EventPrinter* printer_;
  ServiceHeartbeat* heartbeat_ = nullptr;
};
