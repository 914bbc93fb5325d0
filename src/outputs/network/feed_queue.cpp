#include "outputs/network/feed_queue.h"

#include <utility>

#include "outputs/json_events.h"

FeedQueue::~FeedQueue() {
  Finish();
}

void FeedQueue::Start(std::vector<RecordListener*> listeners) {
  if (thread_.joinable()) return;
  listeners_ = std::move(listeners);
  thread_ = std::thread([this] { Run(); });
}

void FeedQueue::Finish() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finishing_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool FeedQueue::Queue(const EventRecord* note, const EventRecord& record) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::size_t size = record.text.size() + (note != nullptr ? note->text.size() : 0);
    if (finishing_ || bytes_ + size > kLimit) return false;
    bytes_ += size;
    if (note != nullptr) queue_.push_back(*note);
    queue_.push_back(record);
  }
  wake_.notify_one();
  return true;
}

void FeedQueue::OnRecord(const EventRecord& record) {
  // The note of a loss goes only with the record it precedes, so that it is never the last
  // word of a listener that is still behind.
  EventRecord note;
  if (unreported_ > 0) {
    note.kind = EventRecord::Kind::kRecordsDropped;
    note.tick_ms = clock_->TickCount();
    note.text = RecordsDroppedJson({note.tick_ms, clock_->Now()}, unreported_);
  }
  if (Queue(unreported_ > 0 ? &note : nullptr, record)) {
    unreported_ = 0;
    return;
  }
  ++unreported_;
  ++dropped_;
}

void FeedQueue::Run() {
  std::deque<EventRecord> taken;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return finishing_ || !queue_.empty(); });
      if (queue_.empty()) return;  // finishing, and everything handed on
      taken.swap(queue_);
      bytes_ = 0;
    }
    for (const EventRecord& record : taken) {
      ++records_;
      for (RecordListener* listener : listeners_) listener->OnRecord(record);
    }
    taken.clear();
  }
}
