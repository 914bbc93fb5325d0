#include "frontend/headless/headless_session.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "app/monitor_state.h"
#include "app/resource_ids.h"
#include "frontend/common/stop_signals.h"
#include "frontend/headless/command_input.h"
#include "frontend/headless/escaping.h"
#include "platform/posix/posix_clock.h"
#include "settings/settings_dialog.h"

namespace {

// What the dialog's controls show, as "port=N baud=RATE save=0|1 sensors=TEXT".
std::string DialogContents(MemoryDialog& d) {
  const int port_button = CheckedButton(d, IDC_COM1, kPortButtonCount);
  const int baud_button = CheckedButton(d, IDC_BAUD_9600, kBaudRateCount);
  const std::string port = port_button < 0 ? "none" : std::to_string(port_button + 1);
  const std::string baud = baud_button < 0 ? "none" : std::to_string(BaudRates[baud_button]);
  return "port=" + port + " baud=" + baud + " save=" + std::to_string(d.GetCheck(IDC_SAVE_LOG)) +
         " sensors=" + Quoted(d.Text(IDC_SENSOR_COUNT));
}

}  // namespace

void HeadlessSession::Run(int input_fd) {
  CommandInput input;
  std::string line;
  bool input_ended = false;
  while (!host_->Ended()) {
    if (host_->PollIfDue()) continue;
    if (StopRequested()) {
      EndOnSignal(TakeStopRequest());
      continue;
    }
    const CommandInput::Next next = input.Take(&line);
    if (next == CommandInput::Next::kLine) {
      Wait(Execute(line));
      continue;
    }
    if (next == CommandInput::Next::kTooLong) {
      printer_->Note("> " + Escaped(line) + "...");
      printer_->Complain("error: a line longer than " +
                         std::to_string(CommandInput::kMaxLineBytes) + " bytes; nothing done");
      continue;
    }
    if (input_ended) {
      // A last line without its newline still counts.
      if (input.TakeRest(&line)) {
        Wait(Execute(line));
      } else {
        Exit("end of input");
      }
      continue;
    }
    // Wait for input, but no longer than until the next poll or a signal.
    pollfd p[2] = {{input_fd, POLLIN, 0}, {StopSignalDescriptor(), POLLIN, 0}};
    const long timeout = host_->MillisecondsToNextPoll();
    const int ready = ::poll(p, 2, static_cast<int>(timeout));
    if (ready <= 0 || p[0].revents == 0) continue;  // a poll is due, or a signal came
    char chunk[4096];
    const ssize_t n = ::read(input_fd, chunk, sizeof chunk);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) {
      input_ended = true;
      continue;
    }
    input.Append(chunk, static_cast<std::size_t>(n));
  }
  if (heartbeat_ != nullptr) heartbeat_->Stopping();
}

std::uint32_t HeadlessSession::Execute(const std::string& line) {
  Command command;
  std::string error;
  const bool parsed = ParseCommand(line, &command, &error);
  if (parsed && command.kind == CommandKind::kNone) return 0;
  std::string echo = line;
  if (!echo.empty() && echo.back() == '\r') echo.pop_back();
  printer_->Note("> " + Escaped(echo));
  if (!parsed) {
    printer_->Complain("error: " + error + "; nothing done");
    return 0;
  }
  if (command.kind == CommandKind::kWait) return command.wait_ms;
  if (command.kind == CommandKind::kStats) {
    Stats();
    return 0;
  }
  if (!host_->Enabled(command.menu_command)) {
    printer_->Complain(std::string("refused ") + CommandName(command.menu_command) +
                       ": the menu item is greyed");
    return 0;
  }
  if (command.kind == CommandKind::kMenu) {
    host_->Choose(command.menu_command);
  } else {
    Settings(command);
  }
  return 0;
}

void HeadlessSession::Stats() {
  const std::uint32_t now = host_->clock().TickCount();
  if (stats_ != nullptr) stats_->Print(now);
  outputs_->WriteLedgerRecord(now);
}

void HeadlessSession::Settings(const Command& command) {
  host_->ChooseSettings([this, &command](MemoryDialog& d) {
    printer_->Note("dialog shows " + DialogContents(d));
    if (command.kind == CommandKind::kCancelSettings) {
      printer_->Note("dialog exit");
      return IDC_EXIT;
    }
    // As an operator would: click the radio buttons, click the check box when it must change,
    // type into the edit field.
    const DialogChanges& c = command.changes;
    if (c.port) d.Click(IDC_COM1 + *c.port - 1);
    if (c.baud_index) d.Click(IDC_BAUD_9600 + *c.baud_index);
    if (c.save && d.GetCheck(IDC_SAVE_LOG) != *c.save) d.Click(IDC_SAVE_LOG);
    if (c.sensors) d.Type(IDC_SENSOR_COUNT, *c.sensors);
    printer_->Note("dialog confirm " + DialogContents(d));
    return IDC_CONFIRM;
  });
}

void HeadlessSession::Wait(std::uint32_t ms) {
  if (ms == 0) return;
  const std::int64_t end =
      MonotonicNanoseconds() + static_cast<std::int64_t>(ms) * kNanosecondsPerMillisecond;
  while (!host_->Ended() && !StopRequested()) {
    if (host_->PollIfDue()) continue;
    const std::int64_t left_ns = end - MonotonicNanoseconds();
    if (left_ns <= 0) return;
    const long left_ms =
        static_cast<long>((left_ns + kNanosecondsPerMillisecond - 1) / kNanosecondsPerMillisecond);
    const long sleep_ms = SoonerWait(host_->MillisecondsToNextPoll(), left_ms);
    // The poll timer's deadline is whole milliseconds of the tick count; a sleep of 0 would
    // spin until the tick moves on.
    ::poll(nullptr, 0, static_cast<int>(sleep_ms > 0 ? sleep_ms : 1));
  }
}

void HeadlessSession::EndOnSignal(StopRequest request) {
  const char* why = request == StopRequest::kExit ? "interrupted" : "signal";
  if (heartbeat_ != nullptr) heartbeat_->Stopping();  // before the stop's export
  host_->EndOn(request, [this, why](int command) {
    printer_->Note(std::string(command == CMD_STOP ? "> stop (" : "> exit (") + why + ")");
  });
}

void HeadlessSession::Exit(const char* why) {
  if (heartbeat_ != nullptr) heartbeat_->Stopping();
  printer_->Note(std::string("> exit (") + why + ")");
  host_->Choose(CMD_EXIT);
}
