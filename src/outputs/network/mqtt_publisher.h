// The MQTT side of the event feed (--mqtt): the records as the topics of mqtt_messages.h,
// through libmosquitto, whose own thread does the network and reconnects after the broker went
// away, 1 s and then every 2 s, so that wsmon is back within about 2 s of the broker.
//
// Nothing here waits for the broker. The first connection is tried on a thread of its own, again
// and again with the same short pause, so that a broker that is missing or slow to answer holds
// up neither the start nor the feed. Every message goes with QoS 1 (the broker acknowledges it;
// the library sends again what was not acknowledged when a connection broke) and waits in a
// bounded outbox (mqtt_outbox.h) while the broker is away or kMaxInFlight messages await their
// acknowledgement: after a reconnect the records follow in their order, each with its own time.
// What the outbox had to drop is counted, said once an outage, and once messages get through
// again a "records_dropped" record on PREFIX/events says how many records were lost. Each change
// between reachable and not is said once through the report function (any thread).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/clock.h"
#include "outputs/event_record.h"
#include "outputs/network/mqtt_messages.h"
#include "outputs/network/mqtt_outbox.h"
#include "outputs/network/network_options.h"
#include "outputs/network/snapshot_board.h"

struct mosquitto;

class MqttPublisher : public RecordListener {
 public:
  // Handed to the library, not yet acknowledged. Kept within the library's own window: what it
  // holds beyond that when a connection breaks, and whatever is published before it has sent
  // the rest again, would overtake the rest after the reconnect.
  static constexpr int kMaxInFlight = 100;
  static constexpr int kKeepAliveSeconds = 30;
  // A broker that refuses is asked again this often at most: a connection attempt to a broker
  // that is down costs next to nothing, and a longer pause is time without data.
  static constexpr int kLongestPauseSeconds = 2;
  // How long the clean end waits for the broker to take "offline".
  static constexpr int kGoodbyeMs = 2000;

  // board gives each sensor's median interval for --mqtt-discovery (may be null without it);
  // clock the time of a "records_dropped" record (read on the feed's thread).
  MqttPublisher(MqttEndpoint endpoint, std::string prefix, bool discovery,
                const SnapshotBoard* board, Clock* clock,
                std::function<void(const std::string&)> report,
                std::size_t outbox_bytes = MqttOutbox::kDefaultLimit);
  ~MqttPublisher() override;  // as Finish
  MqttPublisher(const MqttPublisher&) = delete;
  MqttPublisher& operator=(const MqttPublisher&) = delete;

  // Sets the client up and starts connecting; false with the reason when the library fails.
  bool Start(std::string* error);
  // A clean end: what the outbox holds and "offline" on PREFIX/availability (waiting kGoodbyeMs
  // at most), disconnect.
  void Finish();

  // The feed's thread.
  void OnRecord(const EventRecord& record) override;
  // Whether the receiver answers (the port open and not lost), told on any thread as often as
  // wanted: PREFIX/receiver says each change, and says it again after each reconnection.
  void SetReceiverUp(bool up);

  bool connected() const { return connected_.load(); }
  std::uint64_t published() const { return published_.load(); }
  std::uint64_t dropped() const { return dropped_.load(); }
  std::size_t waiting() const;  // records in the outbox
  const std::string& prefix() const { return prefix_; }
  std::string broker() const;  // "HOST:PORT"

 private:
  static void OnConnect(mosquitto* m, void* self, int rc);
  static void OnDisconnect(mosquitto* m, void* self, int rc);
  static void OnPublish(mosquitto* m, void* self, int mid);

  void Connect();  // the first connection's thread
  // Sends the receiver's state when it changed since last sent, or again.
  void SendReceiver(bool again);
  // True when the message was handed to the library.
  bool Send(const MqttMessage& message, int* mid = nullptr);
  // Hands the library what waits, as far as the window allows (any thread).
  void Pump();
  // Queues a record's messages (the feed's thread).
  void Queue(std::vector<MqttMessage> messages);
  void Announce(int sensor);
  std::size_t outbox_limit_mib() const { return outbox_limit_ >> 20; }

  MqttEndpoint endpoint_;
  std::string prefix_;
  bool discovery_;
  const SnapshotBoard* board_;
  Clock* clock_;
  std::function<void(const std::string&)> report_;

  mosquitto* client_ = nullptr;
  std::thread connector_;
  bool loop_running_ = false;  // written by the connector, read after it is joined
  std::mutex mutex_;           // for stopping_ and the goodbye
  std::condition_variable wake_;
  bool stopping_ = false;
  int goodbye_mid_ = -1;
  bool goodbye_sent_ = false;

  std::atomic<bool> connected_{false};
  std::atomic<bool> reachable_said_{true};  // the last word said was "reachable"
  std::atomic<bool> announce_again_{false};
  // Reconnected with messages unacknowledged: nothing new goes until the library has sent them
  // again, which the first acknowledgement after the reconnect shows.
  std::atomic<bool> resending_{false};
  std::atomic<int> in_flight_{0};
  std::mutex receiver_mutex_;  // for the receiver's state, told and sent in order
  int receiver_wanted_ = -1;   // -1: not told yet
  int receiver_sent_ = -1;
  std::atomic<std::uint64_t> published_{0};
  std::atomic<std::uint64_t> dropped_{0};

  mutable std::mutex outbox_mutex_;  // taken before the library's own locks
  MqttOutbox outbox_;
  std::size_t outbox_limit_;

  // The feed's thread alone.
  std::uint64_t unreported_records_ = 0;
  bool drop_said_ = false;                   // in this outage
  int announced_expiry_[kLedgerSensorRows];  // -1: not announced
};
