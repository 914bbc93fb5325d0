// The road of the event stream from the monitor's thread to the network outputs: the monitor's
// JsonLinesWriter writes the records into a pipe (never waiting: what the pipe does not take
// waits in the writer, up to its limit, and then is dropped and counted), and the feed's own
// thread reads them out and hands each to the listeners in turn.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "outputs/network/feed_record.h"

class FeedPipe {
 public:
  FeedPipe();
  ~FeedPipe();  // as Finish
  FeedPipe(const FeedPipe&) = delete;
  FeedPipe& operator=(const FeedPipe&) = delete;

  // False (with the reason) when no pipe could be made.
  bool ok(std::string* error) const;
  // The end the writer writes to (non-blocking); it stays the pipe's, closed by Finish.
  int write_fd() const { return write_fd_; }

  // Starts the feed's thread; listeners must outlive Finish.
  void Start(std::vector<FeedListener*> listeners);
  // Closes the writing end and waits until the thread has handed on every record in the pipe.
  // The writer must be done with it.
  void Finish();

  std::uint64_t records() const { return records_.load(); }  // handed on so far (after Finish: all)

 private:
  void Run();

  int read_fd_ = -1;
  int write_fd_ = -1;
  int error_ = 0;
  std::vector<FeedListener*> listeners_;
  std::thread thread_;
  std::atomic<std::uint64_t> records_{0};
};
