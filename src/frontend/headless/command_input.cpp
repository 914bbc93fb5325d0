#include "frontend/headless/command_input.h"

#include <cstring>

namespace {

// How much of a line that was too long is shown.
constexpr std::size_t kShownBytes = 64;

}  // namespace

void CommandInput::Append(const char* bytes, std::size_t count) {
  if (skipping_) {
    const void* newline = std::memchr(bytes, '\n', count);
    if (newline == nullptr) return;
    skipping_ = false;
    const std::size_t skipped = static_cast<const char*>(newline) - bytes + 1;
    bytes += skipped;
    count -= skipped;
  }
  pending_.append(bytes, count);
}

CommandInput::Next CommandInput::Take(std::string* line) {
  const std::size_t newline = pending_.find('\n', scanned_);
  if (newline != std::string::npos) {
    // A line past the limit may come whole in one read: it is refused all the same.
    const std::size_t length = newline - start_;
    line->assign(pending_, start_, length > kMaxLineBytes ? kShownBytes : length);
    start_ = scanned_ = newline + 1;
    return length > kMaxLineBytes ? Next::kTooLong : Next::kLine;
  }
  // Only the line in progress is kept.
  pending_.erase(0, start_);
  start_ = 0;
  scanned_ = pending_.size();
  if (pending_.size() <= kMaxLineBytes) return Next::kNothing;
  line->assign(pending_, 0, kShownBytes);
  pending_.clear();
  scanned_ = 0;
  skipping_ = true;
  return Next::kTooLong;
}

bool CommandInput::TakeRest(std::string* line) {
  if (pending_.size() == start_) return false;
  line->assign(pending_, start_, std::string::npos);
  pending_.clear();
  start_ = scanned_ = 0;
  return true;
}
