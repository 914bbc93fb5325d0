// The road of the event stream from the monitor's thread to the network outputs: the records
// wait in a queue of bounded size, and the feed's own thread hands each on to the listeners in
// turn. The monitor's thread never waits for them: a record that finds the queue full is
// dropped and counted, and once records get through again a "records_dropped" record says how
// many were lost.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "app/clock.h"
#include "outputs/event_record.h"

class FeedQueue : public RecordListener {
 public:
  static constexpr std::size_t kLimit = std::size_t{1} << 20;  // bytes of records waiting

  explicit FeedQueue(Clock* clock) : clock_(clock) {}
  ~FeedQueue() override;  // as Finish
  FeedQueue(const FeedQueue&) = delete;
  FeedQueue& operator=(const FeedQueue&) = delete;

  // Starts the feed's thread; listeners must outlive Finish.
  void Start(std::vector<RecordListener*> listeners);
  // Waits until the thread has handed on every record queued, then ends it. The monitor's
  // thread must be done with the queue.
  void Finish();

  // The monitor's thread.
  void OnRecord(const EventRecord& record) override;

  std::uint64_t records() const { return records_.load(); }  // handed on so far
  std::uint64_t dropped() const { return dropped_.load(); }

 private:
  // Queues the record, after the note when there is one; false when they do not fit.
  bool Queue(const EventRecord* note, const EventRecord& record);
  void Run();

  Clock* clock_;
  std::vector<RecordListener*> listeners_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<EventRecord> queue_;
  std::size_t bytes_ = 0;
  bool finishing_ = false;
  std::uint64_t unreported_ = 0;  // the monitor's thread alone
  std::atomic<std::uint64_t> records_{0};
  std::atomic<std::uint64_t> dropped_{0};
};
