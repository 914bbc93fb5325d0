#include "recording/replay_port.h"

#include <cstring>
#include <utility>

namespace {

// What the port tells of its queue before a read that it then refuses: enough for either of
// the monitor's reads to go ahead (a frame's length), as it did.
constexpr int kWaitingBeforeRefusal = 9;

// Records that begin something of their own: a message, or what lies between messages.
bool Boundary(RecordKind kind) {
  return kind == RecordKind::kMenu || kind == RecordKind::kPoll || kind == RecordKind::kGap ||
         kind == RecordKind::kEnd;
}

// Records for whoever reads the recording, which no call of the monitor asks for.
bool Note(RecordKind kind) {
  return kind == RecordKind::kSettings || kind == RecordKind::kReceiver;
}

}  // namespace

bool ReplayPort::Open(FileStore* files, const std::string& name, std::string* error) {
  if (!reader_.Open(files, name, error)) return false;
  Advance();
  return true;
}

void ReplayPort::Advance() {
  has_next_ = reader_.Next(&next_);
  if (has_next_ && next_.kind == RecordKind::kSettings) settings_ = next_.settings;
}

bool ReplayPort::PeekMessage(Message* message) {
  while (has_next_) {
    if (next_.kind == RecordKind::kMenu || next_.kind == RecordKind::kPoll) {
      message->poll = next_.kind == RecordKind::kPoll;
      message->command = message->poll ? 0 : static_cast<int>(next_.number);
      message->tick = next_.tick;
      message->time = next_.time;
      return true;
    }
    if (next_.kind == RecordKind::kGap) {
      ++gaps_;
      gap_records_ += static_cast<std::uint64_t>(next_.number);
    }
    // What the port answered outside any message (a window closed by its frame) was asked by
    // nothing that a replay repeats.
    Advance();
  }
  return false;
}

void ReplayPort::BeginMessage() {
  if (!has_next_) return;
  clock_->Set(next_.tick, next_.time);
  clock_->Hold(true);
  in_message_ = true;
  Advance();
}

void ReplayPort::EndMessage() {
  while (has_next_ && !Boundary(next_.kind)) {
    if (!Note(next_.kind)) ++unasked_;
    Advance();
  }
  in_message_ = false;
  clock_->Hold(false);
}

const Record* ReplayPort::PeekAnswer() {
  if (!in_message_) return nullptr;
  while (has_next_ && Note(next_.kind)) Advance();
  if (!has_next_ || Boundary(next_.kind)) return nullptr;
  return &next_;
}

const Record* ReplayPort::Take(RecordKind kind) {
  const Record* answer = PeekAnswer();
  if (answer == nullptr || answer->kind != kind) return nullptr;
  std::swap(taken_, next_);
  clock_->Set(taken_.tick, taken_.time);
  Advance();
  return &taken_;
}

PortHandle ReplayPort::Open(int) {
  if (Take(RecordKind::kOpenFailed) != nullptr) return kInvalidPort;
  if (const Record* opened = Take(RecordKind::kOpen)) device_ = opened->path;
  open_ = true;
  return kHandle;
}

PortHandle ReplayPort::Reopen(int) {
  const Record* reopened = Take(RecordKind::kReopen);
  if (reopened == nullptr) return kInvalidPort;
  if (!reopened->path.empty()) device_ = reopened->path;
  open_ = true;
  return kHandle;
}

int ReplayPort::SetBaud(PortHandle port, std::uint32_t) {
  if (!IsOpen(port)) return 0;
  const Record* baud = Take(RecordKind::kBaud);
  if (baud != nullptr && baud->flag) {
    // Refused line settings close the port, as a real one does.
    open_ = false;
    return 0;
  }
  return 1;
}

int ReplayPort::WaitingCount(PortHandle port) {
  if (!IsOpen(port)) return 0;
  const Record* answer = PeekAnswer();
  if (answer == nullptr) return 0;
  if (answer->kind == RecordKind::kLost && !answer->flag) {
    Take(RecordKind::kLost);
    return -1;
  }
  if (answer->kind == RecordKind::kLost) return kWaitingBeforeRefusal;
  if (answer->kind != RecordKind::kRead) return 0;
  // What the port said before the read; the read's size where the monitor did not ask.
  return static_cast<int>(answer->number >= 0 ? answer->number
                                              : static_cast<std::int64_t>(answer->bytes.size()));
}

int ReplayPort::LostInput(PortHandle port) {
  return IsOpen(port) && Take(RecordKind::kOverrun) != nullptr ? 1 : 0;
}

int ReplayPort::Read(PortHandle port, std::uint8_t* dst, std::uint32_t count) {
  if (!IsOpen(port)) return -1;
  const Record* answer = PeekAnswer();
  if (answer != nullptr && answer->kind == RecordKind::kLost && answer->flag) {
    Take(RecordKind::kLost);
    return -1;
  }
  const Record* read = Take(RecordKind::kRead);
  if (read == nullptr) return 0;
  const std::size_t n = read->bytes.size();
  // A port that once claimed more than it was asked for claims it again, and as then no more
  // than was asked for reaches dst.
  std::memcpy(dst, read->bytes.data(), n < count ? n : count);
  bytes_read_ += n;
  return static_cast<int>(n);
}

int ReplayPort::WriteOverlapped(PortHandle port, const std::uint8_t*, std::uint32_t count) {
  if (!IsOpen(port)) return -1;
  Take(RecordKind::kWrite);
  return static_cast<int>(count);
}

int ReplayPort::WritePlain(PortHandle port, const std::uint8_t* src, std::uint32_t count) {
  return WriteOverlapped(port, src, count);
}

void ReplayPort::Close(PortHandle port) {
  if (!IsOpen(port)) return;
  Take(RecordKind::kClose);
  open_ = false;
}

std::uint32_t ReplayPort::TakeStall() {
  const Record* stall = Take(RecordKind::kStall);
  return stall != nullptr ? static_cast<std::uint32_t>(stall->number) : 0;
}
