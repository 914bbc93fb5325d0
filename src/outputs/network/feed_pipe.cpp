#include "outputs/network/feed_pipe.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace {

// A line longer than this is no record of the writer's (which holds at most 1 MiB); it is
// skipped rather than kept growing.
constexpr std::size_t kLongestLine = std::size_t{2} << 20;

}  // namespace

FeedPipe::FeedPipe() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    error_ = errno;
    return;
  }
  read_fd_ = fds[0];
  write_fd_ = fds[1];
  // The writer must never wait on a full pipe; it polls before it writes, and this makes sure.
  ::fcntl(write_fd_, F_SETFL, ::fcntl(write_fd_, F_GETFL) | O_NONBLOCK);
}

FeedPipe::~FeedPipe() {
  Finish();
  if (read_fd_ >= 0) ::close(read_fd_);
}

bool FeedPipe::ok(std::string* error) const {
  if (error_ != 0) *error = std::string("cannot make the feed's pipe: ") + std::strerror(error_);
  return error_ == 0;
}

void FeedPipe::Start(std::vector<FeedListener*> listeners) {
  if (error_ != 0 || thread_.joinable()) return;
  listeners_ = std::move(listeners);
  thread_ = std::thread([this] { Run(); });
}

void FeedPipe::Finish() {
  if (write_fd_ >= 0) {
    ::close(write_fd_);
    write_fd_ = -1;
  }
  if (thread_.joinable()) thread_.join();
}

void FeedPipe::Run() {
  std::string buffer;
  bool skipping = false;  // the rest of a line too long to keep
  char chunk[65536];
  for (;;) {
    const ssize_t n = ::read(read_fd_, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // the writing end is closed, and everything read
    buffer.append(chunk, static_cast<std::size_t>(n));
    std::size_t start = 0;
    for (std::size_t end; (end = buffer.find('\n', start)) != std::string::npos; start = end + 1) {
      if (skipping) {
        skipping = false;
        continue;
      }
      FeedRecord record;
      if (!ParseFeedRecord(buffer.substr(start, end - start), &record)) continue;
      ++records_;
      for (FeedListener* listener : listeners_) listener->OnRecord(record);
    }
    buffer.erase(0, start);
    if (buffer.size() > kLongestLine) {
      buffer.clear();
      skipping = true;
    }
  }
}
