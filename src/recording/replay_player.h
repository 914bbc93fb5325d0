// Plays a recording through a hosted monitor: each menu command where the recording holds it,
// each poll that found something when the recording says it came, at the replay's speed. A
// recording without commands (or a poll where no run is in progress) has the player open the
// port and start a run itself; where the recorded program exited, or the recording ends, the
// replay ends: a run still in progress is stopped, and exported when saving is on.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/memory/monitor_host.h"
#include "recording/replay_clock.h"
#include "recording/replay_port.h"

// The recording and the clock of a replay, which stand in for the port and the clock.
struct ReplayParts {
  ReplayParts(Clock* real, double speed) : clock(real), port(&clock) { clock.SetSpeed(speed); }
  ReplayClock clock;
  ReplayPort port;
};

class ReplayPlayer {
 public:
  // Told each command the player gives ("> start (replay)") and what it has to say
  // ("replay: ..."), one line each.
  using Note = std::function<void(const std::string& line)>;

  // The host runs on clock, with port as its serial port.
  ReplayPlayer(MonitorHost* host, ReplayPort* port, ReplayClock* clock, Note note);

  // Real milliseconds until the next message is due: 0 when one is, -1 once the replay is over.
  long MillisecondsToNext();
  // Plays the messages that are due, at most max_messages of them. At the end of the recording
  // it ends the replay (Finish).
  void PlayDue(int max_messages);
  // Ends the replay now: a run in progress is stopped, and how far the recording was played is
  // told; afterwards the clock runs on in real time from where the recording ended.
  void Finish();
  bool finished() const { return finished_; }

  std::uint64_t polls() const { return polls_; }
  std::uint64_t commands() const { return commands_; }

 private:
  void Play(const ReplayPort::Message& message);
  void PlayCommand(int command);
  // Gives a command the recording does not hold.
  void Give(int command, const char* why);
  // Tells when the run just started watches other sensors or saves otherwise than the
  // recorded one did (once for each different recorded setting).
  void NoteOtherSettings();

  MonitorHost* host_;
  ReplayPort* port_;
  ReplayClock* clock_;
  Note note_;
  bool finished_ = false;
  bool exited_ = false;  // the recorded program's exit ended the replay
  std::uint64_t polls_ = 0;
  std::uint64_t commands_ = 0;
  std::uint64_t passed_over_ = 0;  // messages that could not be played here
  std::string told_settings_;
};
