#include "frontend/headless/service_session.h"

#include <poll.h>

#include <cstdio>
#include <string>

#include "app/monitor_state.h"
#include "app/resource_ids.h"
#include "frontend/common/stop_signals.h"

int ServiceSession::Run() {
  if (!runs_->Begin()) {
    std::fprintf(stderr,
                 "wsmon: --run: COM%d did not open, so no run started (the reason is above)\n",
                 g_state.port_number);
    End(StopRequest::kExit, "no run");
    return 1;
  }
  while (!host_->Ended()) {
    if (host_->PollIfDue()) continue;
    if (StopRequested()) {
      // Ctrl-C too ends a service's run with its export: nobody chose to drop it.
      End(StopRequest::kStopThenExit,
          TakeStopRequest() == StopRequest::kExit ? "interrupted" : "signal");
      continue;
    }
    if (runs_->Due()) {
      runs_->Rotate();
      continue;
    }
    pollfd p = {StopSignalDescriptor(), POLLIN, 0};
    const long wait = SoonerWait(host_->MillisecondsToNextPoll(), runs_->MillisecondsToBoundary());
    (void)::poll(&p, 1, static_cast<int>(wait));
  }
  return 0;
}

void ServiceSession::End(StopRequest request, const char* why) {
  if (heartbeat_ != nullptr) heartbeat_->Stopping();  // before the stop's export
  host_->EndOn(request, [this, why](int command) {
    if (command == CMD_EXIT) g_state.save_log = runs_->file_save_log();
    printer_->Note(std::string(command == CMD_STOP ? "> stop (" : "> exit (") + why + ")");
  });
}
