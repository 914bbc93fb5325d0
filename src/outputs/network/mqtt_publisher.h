// The MQTT side of the event feed (--mqtt): the records as the topics of mqtt_messages.h,
// through libmosquitto, whose own thread does the network and reconnects with a growing pause
// (1 s, doubling up to 30 s) after the broker went away.
//
// Nothing here waits for the broker. The first connection is tried on a thread of its own, again
// and again with the same growing pause, so that a broker that is missing or slow to answer
// holds up neither the start nor the feed. Records that come while the broker is away, or while
// kMaxInFlight messages have not left yet, are dropped and counted; once messages get through
// again a "records_dropped" record on PREFIX/events says how many records were lost. Each
// change between reachable and not is said once through the report function (any thread).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "app/clock.h"
#include "outputs/event_record.h"
#include "outputs/network/mqtt_messages.h"
#include "outputs/network/network_options.h"
#include "outputs/network/snapshot_board.h"

struct mosquitto;

class MqttPublisher : public RecordListener {
 public:
  static constexpr int kMaxInFlight = 2000;
  static constexpr int kKeepAliveSeconds = 30;
  static constexpr int kLongestPauseSeconds = 30;
  // How long the clean end waits for the broker to take "offline".
  static constexpr int kGoodbyeMs = 2000;

  // board gives each sensor's median interval for --mqtt-discovery (may be null without it);
  // clock the time of a "records_dropped" record (read on the feed's thread).
  MqttPublisher(MqttEndpoint endpoint, std::string prefix, bool discovery,
                const SnapshotBoard* board, Clock* clock,
                std::function<void(const std::string&)> report);
  ~MqttPublisher() override;  // as Finish
  MqttPublisher(const MqttPublisher&) = delete;
  MqttPublisher& operator=(const MqttPublisher&) = delete;

  // Sets the client up and starts connecting; false with the reason when the library fails.
  bool Start(std::string* error);
  // A clean end: "offline" on PREFIX/availability (waiting kGoodbyeMs at most), disconnect.
  void Finish();

  // The feed's thread.
  void OnRecord(const EventRecord& record) override;

  bool connected() const { return connected_.load(); }
  std::uint64_t published() const { return published_.load(); }
  std::uint64_t dropped() const { return dropped_.load(); }
  const std::string& prefix() const { return prefix_; }
  std::string broker() const;  // "HOST:PORT"

 private:
  static void OnConnect(mosquitto* m, void* self, int rc);
  static void OnDisconnect(mosquitto* m, void* self, int rc);
  static void OnPublish(mosquitto* m, void* self, int mid);

  void Connect();  // the first connection's thread
  // True when the message was handed to the library.
  bool Send(const MqttMessage& message, int* mid = nullptr);
  void Announce(int sensor);

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
  std::atomic<int> in_flight_{0};
  std::atomic<std::uint64_t> published_{0};
  std::atomic<std::uint64_t> dropped_{0};

  // The feed's thread alone.
  std::uint64_t unreported_records_ = 0;
  int announced_expiry_[kLedgerSensorRows];  // -1: not announced
};
