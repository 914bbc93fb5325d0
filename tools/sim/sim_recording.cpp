#include "sim/sim_recording.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>

#include "app/resource_ids.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_file_store.h"
#include "sim/line_pace.h"
#include "sim/sim_line.h"

namespace {

// The monitor's poll: every 200 ms, a pause of 30 ms before it reads.
constexpr std::uint64_t kPollMs = POLL_PERIOD_MS;
constexpr std::uint64_t kSettleMs = 30;
// Reads of one poll and what each takes: a read of up to 300 bytes always fits the monitor's
// buffer, which holds at most 8 bytes between reads; every read after the first of a poll
// takes at least a frame's 9 bytes, as the monitor reads on only when that many wait.
constexpr int kReadsPerPoll = 8;
constexpr std::size_t kMostPerRead = 300;
constexpr std::size_t kLeastAfterFirst = 9;
constexpr std::uint32_t kFirstTick = 1000;

PosixFileStore& Files() {
  static PosixFileStore files;
  return files;
}

// Records into a file, with the clock of the recording running from a start time.
class Writer {
 public:
  Writer(std::FILE* file, const LocalTime& start) : file_(file), start_(start) {
    text_.reserve(1 << 20);
  }
  // A record of this kind ms after the start, to be filled in and added.
  Record& At(std::uint64_t ms, RecordKind kind) {
    record_ = Record{};
    record_.kind = kind;
    record_.tick = static_cast<std::uint32_t>(kFirstTick + ms);
    record_.time = AddMilliseconds(start_, ms);
    return record_;
  }
  void Add() {
    AppendRecord(record_, &text_);
    if (text_.size() > (1u << 20) - 4096) Out();
  }
  void Text(const std::string& text) { text_ += text; }
  bool Out() {
    ok_ = ok_ && std::fwrite(text_.data(), 1, text_.size(), file_) == text_.size();
    text_.clear();
    return ok_;
  }

 private:
  std::FILE* file_;
  LocalTime start_;
  Record record_;
  std::string text_;
  bool ok_ = true;
};

struct Arrival {
  std::int64_t at_ns;
  std::uint8_t byte;
};

}  // namespace

bool RecordedTraffic::Open(const std::string& name, double speed, std::string* error) {
  speed_ = speed;
  if (!reader_.Open(&Files(), name, error)) return false;
  // What the receiver answered to the probe is told before the first poll.
  while ((has_record_ = reader_.Next(&record_))) {
    if (record_.kind == RecordKind::kReceiver) echo_ = record_.flag;
    if (record_.kind == RecordKind::kReceiver || record_.kind == RecordKind::kPoll) break;
  }
  return true;
}

bool RecordedTraffic::Next(Transmission* out) {
  for (;;) {
    if (!has_record_) return false;
    const Record& r = record_;
    if (r.kind == RecordKind::kPoll || r.kind == RecordKind::kMenu) {
      in_poll_ = r.kind == RecordKind::kPoll;
      if (in_poll_) {
        // Each poll's bytes go out when the poll came: they had arrived by then.
        elapsed_ms_ += started_ ? r.tick - last_tick_ : 0;
        last_tick_ = r.tick;
        started_ = true;
      }
    }
    if (r.kind == RecordKind::kRead && in_poll_) {
      *out = Transmission{};
      // Speed 0 is "max": every transmission is due at once.
      out->due_ms =
          speed_ > 0 ? static_cast<std::uint64_t>(static_cast<double>(elapsed_ms_) / speed_) : 0;
      out->bytes = r.bytes;
      out->parts.push_back(Part{0, 0, r.bytes.size()});
      has_record_ = reader_.Next(&record_);
      return true;
    }
    has_record_ = reader_.Next(&record_);
  }
}

namespace {

// The records of a run's start: the port opened and probed, a plain receiver found, and the
// run started with the simulated sensors.
void WriteOpening(const SimOptions& options, const std::string& program, Writer& w) {
  w.Text(RecordingHeader(program));
  w.At(0, RecordKind::kMenu).number = CMD_OPEN;
  w.Add();
  Record& open = w.At(0, RecordKind::kOpen);
  open.number = 1;
  open.path = "wsmon-sim";
  w.Add();
  w.At(0, RecordKind::kBaud).number = options.baud;
  w.Add();
  w.At(0, RecordKind::kWrite).bytes.assign(kProbe, kProbe + sizeof kProbe);
  w.Add();
  w.At(114, RecordKind::kReceiver).flag = false;
  w.Add();
  w.At(kPollMs, RecordKind::kMenu).number = CMD_START;
  w.Add();
  RecordedSettings& settings = w.At(kPollMs, RecordKind::kSettings).settings;
  settings = {1, static_cast<int>(options.baud),
              options.ids.size() > 32 ? 32 : static_cast<int>(options.ids.size()), 0};
  w.Add();
}

// The bytes of the traffic with the times they arrive: the schedule counts from the start of
// the run; bytes arrive at the line's pace.
class Arrivals {
 public:
  Arrivals(const SimOptions& options, Summary* summary)
      : options_(options), pace_(options.baud), traffic_(options), summary_(summary) {}

  // Every transmission that begins before poll_ns has its bytes' arrival times.
  void Until(std::int64_t poll_ns) {
    Transmission t;
    while (more_ && line_free_ < poll_ns) {
      more_ = traffic_.Next(&t);
      if (more_) Schedule(t);
    }
  }
  bool done() const { return !more_ && waiting_.empty(); }
  std::deque<Arrival>& waiting() { return waiting_; }

 private:
  void Schedule(const Transmission& t) {
    std::vector<std::uint8_t> fate(t.bytes.size(), kByteSent);
    summary_->Count(t, fate);
    std::int64_t target =
        kStartNs + static_cast<std::int64_t>(t.due_ms) * kNanosecondsPerMillisecond;
    for (const Part& part : t.parts) {
      target += static_cast<std::int64_t>(part.pause_before_ms) * kNanosecondsPerMillisecond;
      const std::int64_t begin = std::max(target, line_free_);
      for (std::size_t i = part.begin; i < part.end; ++i) {
        const std::int64_t offset =
            options_.pace ? static_cast<std::int64_t>(i - part.begin) * pace_.byte_ns() : 0;
        waiting_.push_back({begin + offset, t.bytes[i]});
      }
      line_free_ = options_.pace ? pace_.FreeAt(begin, part.end - part.begin) : begin;
      target = line_free_;
    }
  }

  static constexpr std::int64_t kStartNs =
      static_cast<std::int64_t>(kPollMs) * kNanosecondsPerMillisecond;
  const SimOptions& options_;
  const LinePace pace_;
  Traffic traffic_;
  Summary* summary_;
  std::int64_t line_free_ = 0;
  bool more_ = true;
  std::deque<Arrival> waiting_;
};

// The monitor's reads of one poll of what has arrived by then, as many as it makes.
void RecordPoll(std::uint64_t poll_ms, std::deque<Arrival>& waiting, Writer& w) {
  const std::int64_t poll_ns = static_cast<std::int64_t>(poll_ms) * kNanosecondsPerMillisecond;
  bool polled = false;
  for (int reads = 0; reads < kReadsPerPoll; ++reads) {
    std::size_t ready = 0;
    while (ready < waiting.size() && waiting[ready].at_ns < poll_ns) ++ready;
    if (ready == 0 || (reads > 0 && ready < kLeastAfterFirst)) break;
    std::size_t take = ready <= kMostPerRead ? ready : kMostPerRead;
    if (ready > kMostPerRead && ready - take < kLeastAfterFirst) take = ready - kLeastAfterFirst;
    if (!polled) {
      w.At(poll_ms, RecordKind::kPoll);
      w.Add();
      polled = true;
    }
    Record& r = w.At(poll_ms + kSettleMs, RecordKind::kRead);
    r.number = static_cast<std::int64_t>(take);
    for (std::size_t i = 0; i < take; ++i) r.bytes.push_back(waiting[i].byte);
    waiting.erase(waiting.begin(), waiting.begin() + static_cast<std::ptrdiff_t>(take));
    w.Add();
  }
}

}  // namespace

bool WriteRecording(const SimOptions& options, const std::string& program, Summary* summary,
                    std::string* error) {
  const std::string& name = options.write_recording;
  // A file that is there already is never overwritten.
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(name.c_str(), "wxb"),
                                                       std::fclose);
  if (!file) {
    *error = "cannot write " + name + ": " + std::strerror(errno);
    return false;
  }
  PosixClock clock;
  Writer w(file.get(), clock.Now());
  WriteOpening(options, program, w);
  Arrivals arrivals(options, summary);
  std::uint64_t poll_ms = 2 * kPollMs;
  for (;; poll_ms += kPollMs) {
    arrivals.Until(static_cast<std::int64_t>(poll_ms) * kNanosecondsPerMillisecond);
    if (arrivals.done()) {
      w.At(poll_ms, RecordKind::kMenu).number = CMD_STOP;
      w.Add();
      break;
    }
    RecordPoll(poll_ms, arrivals.waiting(), w);
    if (g_sim_stop) break;
  }
  w.At(poll_ms, RecordKind::kEnd);
  w.Add();
  if (!w.Out() || std::fflush(file.get()) != 0) {
    *error = "cannot write " + name + ": " + std::strerror(errno);
    return false;
  }
  return true;
}
