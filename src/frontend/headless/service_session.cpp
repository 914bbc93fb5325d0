#include "frontend/headless/service_session.h"

#include <poll.h>

#include <cstdio>
#include <string>

#include "app/monitor_state.h"
#include "app/resource_ids.h"
#include "frontend/common/stop_signals.h"

namespace {

void TellOnStderr(const std::string& text) {
  std::fprintf(stderr, "wsmon: %s\n", text.c_str());
}

}  // namespace

int ServiceSession::Run() {
  saved_save_log_ = g_state.save_log;
  printer_->Note("> open");
  host_->Choose(CMD_OPEN);
  if (g_state.port_open == 1) {
    // A service's runs are what it is for: each is exported, whatever the settings file says.
    g_state.save_log = 1;
    printer_->Note("> start");
    // What came after the probe is the first run's, as what comes across a boundary is the
    // next run's.
    port_->Hold(true);
    host_->Choose(CMD_START);
    port_->Hold(false);
  }
  if (g_state.running != 1) {
    TellOnStderr("--run: COM" + std::to_string(g_state.port_number) +
                 " did not open, so no run started (the reason is above)");
    End(StopRequest::kExit, "no run");
    return 1;
  }
  schedule_->Begin();
  while (!host_->Ended()) {
    if (host_->PollIfDue()) continue;
    if (StopRequested()) {
      // Ctrl-C too ends a service's run with its export: nobody chose to drop it.
      End(StopRequest::kStopThenExit,
          TakeStopRequest() == StopRequest::kExit ? "interrupted" : "signal");
      continue;
    }
    if (g_state.running == 1 && schedule_->Due()) {
      Rotate();
      continue;
    }
    pollfd p = {StopSignalDescriptor(), POLLIN, 0};
    const long wait =
        SoonerWait(host_->MillisecondsToNextPoll(), schedule_->MillisecondsToBoundary());
    (void)::poll(&p, 1, static_cast<int>(wait));
  }
  return 0;
}

void ServiceSession::Rotate() {
  port_->Hold(true);
  printer_->Note("> stop (rotation)");
  host_->Choose(CMD_STOP);
  if (json_files_ != nullptr && json_files_->rotates()) {
    std::string error;
    const std::string next = json_files_->Claim(host_->clock().Now(), &error);
    // Without a new file the records go on in the old one: nothing is lost.
    if (next.empty() || !outputs_->SwitchJsonFile(next, &error)) TellOnStderr(error);
  }
  printer_->Note("> start (rotation)");
  host_->Choose(CMD_START);
  port_->Hold(false);
  schedule_->Passed();
}

void ServiceSession::End(StopRequest request, const char* why) {
  if (heartbeat_ != nullptr) heartbeat_->Stopping();  // before the stop's export
  host_->EndOn(request, [this, why](int command) {
    if (command == CMD_EXIT) g_state.save_log = saved_save_log_;
    printer_->Note(std::string(command == CMD_STOP ? "> stop (" : "> exit (") + why + ")");
  });
}
