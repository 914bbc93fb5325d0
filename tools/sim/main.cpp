// wsmon-sim: a simulated radio receiver for trying the monitor without the hardware.
#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/program_version.h"
#include "platform/posix/posix_clock.h"
#include "sim/line_pace.h"
#include "sim/sim_line.h"
#include "sim/sim_options.h"
#include "sim/sim_recording.h"
#include "sim/traffic.h"

namespace {

constexpr std::int64_t kQuietAfterProbe = 150 * kNanosecondsPerMillisecond;
constexpr std::int64_t kPurgeWait = 2000 * kNanosecondsPerMillisecond;

void OnStopSignal(int) {
  g_sim_stop = 1;
}

class Sender {
 public:
  Sender(SimLine* line, const SimOptions& options, Summary* summary)
      : line_(line), options_(options), summary_(summary), pace_(options.baud) {}

  // Watches the line until deadline_ns, or only until the first probe when until_probe is
  // set. A probe is answered at once when a reply may go out now, else as soon as the part
  // being sent is complete.
  void ServiceUntil(std::int64_t deadline_ns, bool may_reply, bool until_probe = false) {
    while (!g_sim_stop) {
      if (may_reply) Reply();
      if (!line_->WatchUntil(deadline_ns)) return;
      ++summary_->probes;
      reply_pending_ = options_.echo;
      // A receiver busy with the probe sends nothing else for a while, so that the monitor's
      // reply window holds the reply alone.
      quiet_until_ = MonotonicNanoseconds() + kQuietAfterProbe;
      if (until_probe) {
        if (may_reply) Reply();
        return;
      }
    }
  }

  // Waits until the time comes (and any quiet time after a probe has passed).
  void WaitFor(std::int64_t target_ns) {
    while (!g_sim_stop) {
      const std::int64_t until = std::max(target_ns, quiet_until_);
      if (MonotonicNanoseconds() >= until) return;
      ServiceUntil(until, true);
    }
  }

  void WaitForProbe() {
    while (!g_sim_stop && summary_->probes == 0) {
      ServiceUntil(MonotonicNanoseconds() + 1000 * kNanosecondsPerMillisecond, true, true);
    }
    // The monitor purges its input once it has looked for the probe's reply: a frame sent
    // before that would be lost, however late a busy machine lets the monitor get there. A
    // line that tells of purges is watched for it; a purge told before the probe's bytes were
    // read leaves none to see, and the wait ends at kPurgeWait.
    if (line_->sees_purges()) {
      line_->WatchUntil(MonotonicNanoseconds() + kPurgeWait, SimLine::Watch::kInputPurged);
    }
    WaitFor(MonotonicNanoseconds());
  }

  // Sends bytes [begin, end) of t, at the pace of the line unless pacing is off.
  void SendPart(const Transmission& t, std::size_t begin, std::size_t end,
                std::vector<std::uint8_t>* fate) {
    const std::int64_t t0 = std::max(MonotonicNanoseconds(), line_free_);
    std::size_t sent = begin;
    while (sent < end && !g_sim_stop) {
      std::size_t due = end;
      if (options_.pace) due = begin + pace_.BegunBy(MonotonicNanoseconds() - t0, end - begin);
      if (due > sent) {
        const std::size_t taken = line_->WriteNow(&t.bytes[sent], due - sent);
        for (std::size_t i = sent; i < due; ++i) {
          (*fate)[i] = i < sent + taken ? kByteSent : kByteDropped;
        }
        sent = due;
      } else {
        ServiceUntil(pace_.FreeAt(t0, sent - begin), false);
      }
    }
    line_free_ = options_.pace ? pace_.FreeAt(t0, end - begin) : MonotonicNanoseconds();
    Reply();
  }

 private:
  void Reply() {
    if (!reply_pending_) return;
    reply_pending_ = false;
    const std::size_t taken = line_->WriteNow(kProbe, sizeof kProbe);
    summary_->bytes += taken;
    summary_->dropped_bytes += sizeof kProbe - taken;
    if (taken == sizeof kProbe) ++summary_->probe_replies;
  }

  SimLine* line_;
  const SimOptions& options_;
  Summary* summary_;
  const LinePace pace_;
  std::int64_t line_free_ = 0;
  std::int64_t quiet_until_ = 0;
  bool reply_pending_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  SimOptions options;
  std::string error;
  if (!ParseSimOptions(argc, argv, &options, &error)) {
    std::fprintf(stderr, "wsmon-sim: %s\n", error.c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(SimUsage().c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("wsmon-sim %s\n", kProgramVersion);
    return 0;
  }

  const std::string program = std::string("wsmon-sim ") + kProgramVersion;
  if (!options.write_recording.empty()) {
    Summary summary(options.ids);
    if (!WriteRecording(options, program, &summary, &error)) {
      std::fprintf(stderr, "wsmon-sim: %s\n", error.c_str());
      return 1;
    }
    std::fputs(summary.Text().c_str(), stdout);
    return 0;
  }
  RecordedTraffic recorded;
  if (!options.replay.empty()) {
    if (!recorded.Open(options.replay, options.speed, &error)) {
      std::fprintf(stderr, "wsmon-sim: %s\n", error.c_str());
      return 2;
    }
    options.echo = recorded.echo();
  }

  struct sigaction stop {};
  stop.sa_handler = OnStopSignal;
  sigemptyset(&stop.sa_mask);
  sigaction(SIGINT, &stop, nullptr);  // no SA_RESTART: a wait ends at once
  sigaction(SIGTERM, &stop, nullptr);
  signal(SIGPIPE, SIG_IGN);

  SimLine line;
  std::string path = options.device;
  const bool opened = options.device.empty()
                          ? line.OpenPseudoTerminal(&path, &error)
                          : line.OpenDevice(options.device, options.baud, &error);
  if (!opened) {
    std::fprintf(stderr, "wsmon-sim: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s\n", path.c_str());
  std::fflush(stdout);

  const bool replay = !options.replay.empty();
  // A replay's summary counts bytes: the recording says nothing of sensors.
  Summary summary(replay ? std::vector<int>{} : options.ids);
  Sender sender(&line, options, &summary);
  Traffic traffic(options);
  if (options.wait_probe) sender.WaitForProbe();
  const std::int64_t start = MonotonicNanoseconds();
  Transmission t;
  while (!g_sim_stop && (replay ? recorded.Next(&t) : traffic.Next(&t))) {
    std::vector<std::uint8_t> fate(t.bytes.size(), kByteUnsent);
    std::int64_t target = start + static_cast<std::int64_t>(t.due_ms) * kNanosecondsPerMillisecond;
    for (const Part& part : t.parts) {
      target += static_cast<std::int64_t>(part.pause_before_ms) * kNanosecondsPerMillisecond;
      sender.WaitFor(target);
      sender.SendPart(t, part.begin, part.end, &fate);
      target = MonotonicNanoseconds();
    }
    summary.Count(t, fate);
  }
  if (!g_sim_stop) {
    const std::int64_t linger = options.linger_ms * kNanosecondsPerMillisecond;
    sender.ServiceUntil(MonotonicNanoseconds() + linger, true);
  }
  line.Close();
  if (replay) {
    std::fprintf(stderr, "wsmon-sim: %s: %s\n", options.replay.c_str(),
                 recorded.reader().Ending().c_str());
  }
  std::fputs(summary.Text().c_str(), stdout);
  std::fflush(stdout);
  return 0;
}
