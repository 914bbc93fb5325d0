#include "outputs/network/mqtt_outbox.h"

#include <utility>

std::uint64_t MqttOutbox::Push(std::vector<MqttMessage> messages) {
  if (messages.empty()) return 0;
  Record record;
  for (const MqttMessage& m : messages) record.bytes += Cost(m);
  if (record.bytes > limit_) {  // larger than the whole room
    dropped_messages_ += messages.size();
    return 1;
  }
  record.messages = std::move(messages);
  std::uint64_t dropped = 0;
  // A record partly sent stays: its rest must follow what already went.
  while (bytes_ + record.bytes > limit_ && !records_.empty() &&
         (records_.front().sent == 0 || records_.size() > 1)) {
    auto oldest = records_.begin();
    if (oldest->sent > 0) ++oldest;
    dropped_messages_ += oldest->messages.size() - oldest->sent;
    bytes_ -= oldest->bytes;
    records_.erase(oldest);
    ++dropped;
  }
  if (bytes_ + record.bytes > limit_) {  // the rest of a record partly sent leaves no room
    dropped_messages_ += record.messages.size();
    return dropped + 1;
  }
  bytes_ += record.bytes;
  records_.push_back(std::move(record));
  return dropped;
}

void MqttOutbox::Sent() {
  Record& front = records_.front();
  if (++front.sent < front.messages.size()) return;
  bytes_ -= front.bytes;
  records_.pop_front();
}
