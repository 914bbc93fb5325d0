// The MQTT publisher's store and forward: the messages of each record wait here, in order, until
// the broker can take them, so that an outage of the broker (or of the network to it) loses
// nothing that fits. The room is bounded by bytes, counted with a fixed allowance for each
// message's own upkeep, so that memory stays bounded however long the broker stays away: a
// record that finds it full makes room by dropping the oldest whole records, which are counted.
// Kept in memory: a restart of wsmon loses what still waits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "outputs/network/mqtt_messages.h"

class MqttOutbox {
 public:
  // An hour of 32 readings a second (each a reading record and its two values) fits.
  static constexpr std::size_t kDefaultLimit = std::size_t{80} << 20;
  static constexpr std::size_t kUpkeepBytes = 96;  // a message's strings and place in the queue

  explicit MqttOutbox(std::size_t limit_bytes = kDefaultLimit) : limit_(limit_bytes) {}

  // Queues the messages of one record; the records dropped to make room (the oldest first).
  std::uint64_t Push(std::vector<MqttMessage> messages);
  bool empty() const { return records_.empty(); }
  // The next message to send; only when not empty.
  const MqttMessage& Next() const { return records_.front().messages[records_.front().sent]; }
  // The next message has gone.
  void Sent();

  std::size_t records() const { return records_.size(); }
  std::size_t bytes() const { return bytes_; }
  std::uint64_t dropped_messages() const { return dropped_messages_; }

  static std::size_t Cost(const MqttMessage& m) {
    return m.topic.size() + m.payload.size() + kUpkeepBytes;
  }

 private:
  struct Record {
    std::vector<MqttMessage> messages;
    std::size_t sent = 0;  // those already handed to the library
    std::size_t bytes = 0;
  };

  std::size_t limit_;
  std::deque<Record> records_;
  std::size_t bytes_ = 0;
  std::uint64_t dropped_messages_ = 0;
};
