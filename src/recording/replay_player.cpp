#include "recording/replay_player.h"

#include <utility>

#include "app/monitor_state.h"
#include "app/platform.h"
#include "app/resource_ids.h"
#include "recording/recording_format.h"

ReplayPlayer::ReplayPlayer(MonitorHost* host, ReplayPort* port, ReplayClock* clock, Note note)
    : host_(host), port_(port), clock_(clock), note_(std::move(note)) {}

long ReplayPlayer::MillisecondsToNext() {
  if (finished_) return -1;
  ReplayPort::Message message;
  if (!port_->PeekMessage(&message)) return 0;  // the end is due: the replay ends
  return clock_->RealMsUntil(message.tick);
}

void ReplayPlayer::PlayDue(int max_messages) {
  for (int played = 0; played < max_messages && !finished_ && !host_->Ended(); ++played) {
    ReplayPort::Message message;
    if (!port_->PeekMessage(&message)) {
      Finish();
      return;
    }
    if (clock_->RealMsUntil(message.tick) > 0) return;
    if (!message.poll && message.command == CMD_EXIT) {
      // The recorded program ended here; this one goes on.
      exited_ = true;
      Finish();
      return;
    }
    Play(message);
  }
}

void ReplayPlayer::Play(const ReplayPort::Message& message) {
  clock_->Set(message.tick, message.time);
  if (!message.poll) {
    PlayCommand(message.command);
    return;
  }
  // Polls come only during a run: one that finds none has the player start it, as the
  // operator did before what was recorded (a recording that holds no commands).
  if (g_state.running == 0) {
    if (g_state.port_open == 0) Give(CMD_OPEN, "replay");
    Give(CMD_START, "replay");
  }
  port_->BeginMessage();
  // The recording tells where the recorded monitor stalled; this clock, which passes over the
  // polls that found nothing, cannot.
  StallSource* const stalls = g_platform.stalls;
  g_platform.stalls = port_;
  if (host_->PollNow()) {
    ++polls_;
  } else {
    ++passed_over_;
  }
  g_platform.stalls = stalls;
  port_->EndMessage();
}

void ReplayPlayer::PlayCommand(int command) {
  const char* name = MenuName(command);
  if (name == nullptr || !host_->Enabled(command)) {
    // The monitor here is in another state than the recorded one was (its settings differ):
    // what the command met is passed over.
    ++passed_over_;
    port_->BeginMessage();
    port_->EndMessage();
    return;
  }
  note_(std::string("> ") + name + " (replay)");
  ++commands_;
  port_->BeginMessage();
  if (command == CMD_SETTINGS) {
    // What the operator changed is the recording's business no more: the dialog is left as
    // it is, which ends a run in progress as the recorded settings command did.
    host_->ChooseSettings([](MemoryDialog&) { return IDC_EXIT; });
  } else {
    host_->Choose(command);
  }
  port_->EndMessage();
  if (command == CMD_START) NoteOtherSettings();
}

void ReplayPlayer::NoteOtherSettings() {
  const RecordedSettings& recorded = port_->settings();
  if (recorded.sensors == 0) return;  // a recording that does not say
  if (recorded.sensors == g_state.sensor_count && recorded.save == g_state.save_log) return;
  const std::string told = std::to_string(recorded.sensors) + "/" + std::to_string(recorded.save);
  if (told == told_settings_) return;
  told_settings_ = told;
  note_("replay: the recorded run watched " + std::to_string(recorded.sensors) +
        " sensors with saving " + (recorded.save != 0 ? "on" : "off") + "; this monitor " +
        "watches " + std::to_string(g_state.sensor_count) + " with saving " +
        (g_state.save_log != 0 ? "on" : "off") + " (its settings file): panels and export " +
        "follow this monitor's");
}

void ReplayPlayer::Give(int command, const char* why) {
  if (!host_->Enabled(command)) return;
  note_(std::string("> ") + MenuName(command) + " (" + why + ")");
  host_->Choose(command);
}

void ReplayPlayer::Finish() {
  if (finished_) return;
  finished_ = true;
  if (g_state.running == 1 && !host_->Ended()) Give(CMD_STOP, "replay end");
  const RecordingReader& reader = port_->reader();
  std::string text =
      "replay: " + std::to_string(commands_) + " commands and " + std::to_string(polls_) +
      " polls played, " + std::to_string(port_->bytes_read()) + " bytes read; " +
      (exited_
           ? "the recorded program exited after " + std::to_string(reader.records()) + " records"
           : reader.Ending());
  if (port_->gaps() != 0) {
    text += "; " + std::to_string(port_->gaps()) + " gaps where the disk was full (" +
            std::to_string(port_->gap_records()) + " records missing)";
  }
  if (passed_over_ != 0 || port_->unasked() != 0) {
    text += "; " + std::to_string(passed_over_) + " messages and " +
            std::to_string(port_->unasked()) +
            " answers of the port passed over (this monitor's state or settings differ from " +
            "the recorded one's)";
  }
  note_(text);
  clock_->SetSpeed(1);
}
