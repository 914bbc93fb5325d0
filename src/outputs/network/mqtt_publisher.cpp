#include "outputs/network/mqtt_publisher.h"

#include <mosquitto.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

#include "outputs/json_events.h"
#include "outputs/network/network_host.h"

namespace {

const char kOnline[] = "online";
const char kOffline[] = "offline";

// The library's global set-up, once for the program.
void InitialiseLibrary() {
  static const int done = mosquitto_lib_init();
  (void)done;
}

std::string ErrorText(int rc, int saved_errno) {
  if (rc == MOSQ_ERR_ERRNO) return SocketErrorText(saved_errno);
  return mosquitto_strerror(rc);
}

}  // namespace

MqttPublisher::MqttPublisher(MqttEndpoint endpoint, std::string prefix, bool discovery,
                             const SnapshotBoard* board, Clock* clock,
                             std::function<void(const std::string&)> report,
                             std::size_t outbox_bytes)
    : endpoint_(std::move(endpoint)),
      prefix_(std::move(prefix)),
      discovery_(discovery),
      board_(board),
      clock_(clock),
      report_(std::move(report)),
      outbox_(outbox_bytes),
      outbox_limit_(outbox_bytes) {
  for (int& expiry : announced_expiry_) expiry = -1;
}

MqttPublisher::~MqttPublisher() {
  Finish();
}

std::size_t MqttPublisher::waiting() const {
  std::lock_guard<std::mutex> lock(outbox_mutex_);
  return outbox_.records();
}

std::string MqttPublisher::broker() const {
  const bool v6 = endpoint_.host.find(':') != std::string::npos;
  return (v6 ? "[" + endpoint_.host + "]" : endpoint_.host) + ":" + std::to_string(endpoint_.port);
}

bool MqttPublisher::Start(std::string* error) {
  InitialiseLibrary();
  const std::string id = "wsmon-" + HostName().substr(0, 40) + "-" + std::to_string(ProcessId());
  client_ = mosquitto_new(id.c_str(), true, this);
  if (client_ == nullptr) {
    *error = std::string("cannot set up the MQTT client: ") + std::strerror(errno);
    return false;
  }
  const std::string availability = AvailabilityTopic(prefix_);
  int rc = mosquitto_will_set(client_, availability.c_str(), static_cast<int>(sizeof kOffline - 1),
                              kOffline, 1, true);
  if (rc == MOSQ_ERR_SUCCESS) {
    rc = mosquitto_reconnect_delay_set(client_, 1, kLongestPauseSeconds, false);
  }
  if (rc == MOSQ_ERR_SUCCESS) {
    // Room for the availability messages beside a full window.
    rc = mosquitto_int_option(client_, MOSQ_OPT_SEND_MAXIMUM, kMaxInFlight + 8);
  }
  if (rc != MOSQ_ERR_SUCCESS) {
    *error = std::string("cannot set up the MQTT client: ") + mosquitto_strerror(rc);
    return false;
  }
  mosquitto_connect_callback_set(client_, OnConnect);
  mosquitto_disconnect_callback_set(client_, OnDisconnect);
  mosquitto_publish_callback_set(client_, OnPublish);
  connector_ = std::thread([this] { Connect(); });
  return true;
}

void MqttPublisher::Connect() {
  int pause_s = 1;
  for (;;) {
    errno = 0;
    const int rc =
        mosquitto_connect_async(client_, endpoint_.host.c_str(), endpoint_.port, kKeepAliveSeconds);
    const int saved_errno = errno;
    if (rc == MOSQ_ERR_SUCCESS) {
      loop_running_ = mosquitto_loop_start(client_) == MOSQ_ERR_SUCCESS;
      break;
    }
    if (reachable_said_.exchange(false) && report_) {
      report_("MQTT broker " + broker() + " not reachable (" + ErrorText(rc, saved_errno) +
              "); wsmon tries again in the background");
    }
    std::unique_lock<std::mutex> lock(mutex_);
    if (wake_.wait_for(lock, std::chrono::seconds(pause_s), [this] { return stopping_; })) return;
    pause_s = pause_s * 2 > kLongestPauseSeconds ? kLongestPauseSeconds : pause_s * 2;
  }
  // A connection under way that never completes is said once too.
  std::unique_lock<std::mutex> lock(mutex_);
  if (!wake_.wait_for(lock, std::chrono::seconds(10),
                      [this] { return stopping_ || connected_.load(); }) &&
      reachable_said_.exchange(false) && report_) {
    report_("MQTT broker " + broker() + " does not answer; wsmon tries again in the background");
  }
}

void MqttPublisher::OnConnect(mosquitto*, void* self, int rc) {
  auto* p = static_cast<MqttPublisher*>(self);
  if (rc != 0) {
    if (p->reachable_said_.exchange(false) && p->report_) {
      p->report_("MQTT broker " + p->broker() + " refused the connection (" +
                 mosquitto_connack_string(rc) + "); wsmon tries again in the background");
    }
    return;
  }
  // What the library held unacknowledged when the connection broke it sends again itself, once
  // this returns; until then nothing new may go (resending_ is set before connected_).
  p->resending_ = p->in_flight_.load() > 0;
  p->connected_ = true;
  p->wake_.notify_all();
  p->announce_again_ = true;
  if (!p->reachable_said_.exchange(true) && p->report_) {
    p->report_("MQTT broker " + p->broker() + " connected");
  }
  p->Send({AvailabilityTopic(p->prefix_), kOnline, 1, true});
  p->SendReceiver(true);
  if (!p->resending_) p->Pump();
}

void MqttPublisher::OnDisconnect(mosquitto*, void* self, int rc) {
  auto* p = static_cast<MqttPublisher*>(self);
  p->connected_ = false;
  if (rc != 0 && p->reachable_said_.exchange(false) && p->report_) {
    p->report_("MQTT broker " + p->broker() +
               " lost; wsmon reconnects in the background (records meanwhile wait, " +
               std::to_string(p->outbox_limit_mib()) + " MiB at most)");
  }
}

void MqttPublisher::OnPublish(mosquitto*, void* self, int mid) {
  auto* p = static_cast<MqttPublisher*>(self);
  if (p->in_flight_.load() > 0) --p->in_flight_;
  p->resending_ = false;
  {
    std::lock_guard<std::mutex> lock(p->mutex_);
    if (mid == p->goodbye_mid_) {
      p->goodbye_sent_ = true;
      p->wake_.notify_all();
    }
  }
  p->Pump();
}

bool MqttPublisher::Send(const MqttMessage& m, int* mid) {
  if (!connected_.load()) return false;
  ++in_flight_;
  const int rc =
      mosquitto_publish(client_, mid, m.topic.c_str(), static_cast<int>(m.payload.size()),
                        m.payload.data(), m.qos, m.retain);
  if (rc != MOSQ_ERR_SUCCESS) {
    if (in_flight_.load() > 0) --in_flight_;
    return false;
  }
  ++published_;
  return true;
}

void MqttPublisher::SetReceiverUp(bool up) {
  {
    std::lock_guard<std::mutex> lock(receiver_mutex_);
    receiver_wanted_ = up ? 1 : 0;
  }
  SendReceiver(false);
}

void MqttPublisher::SendReceiver(bool again) {
  std::lock_guard<std::mutex> lock(receiver_mutex_);
  if (receiver_wanted_ < 0 || (!again && receiver_wanted_ == receiver_sent_)) return;
  if (Send({ReceiverTopic(prefix_), receiver_wanted_ == 1 ? kOnline : kOffline, 1, true})) {
    receiver_sent_ = receiver_wanted_;
  }
}

void MqttPublisher::Pump() {
  std::lock_guard<std::mutex> lock(outbox_mutex_);
  while (connected_.load() && !resending_.load() && in_flight_.load() < kMaxInFlight &&
         !outbox_.empty()) {
    // A message the library refuses (none should be) would refuse again: it is dropped.
    if (!Send(outbox_.Next())) ++dropped_;
    outbox_.Sent();
  }
}

void MqttPublisher::Queue(std::vector<MqttMessage> messages) {
  std::uint64_t dropped_records = 0;
  {
    std::lock_guard<std::mutex> lock(outbox_mutex_);
    const std::uint64_t before = outbox_.dropped_messages();
    dropped_records = outbox_.Push(std::move(messages));
    dropped_ += outbox_.dropped_messages() - before;
  }
  if (dropped_records == 0) return;
  unreported_records_ += dropped_records;
  if (!drop_said_ && report_) {
    report_("MQTT: " + std::to_string(outbox_limit_mib()) +
            " MiB of records wait for the broker; the oldest are dropped from now on");
  }
  drop_said_ = true;
}

void MqttPublisher::Announce(int sensor) {
  if (announce_again_.exchange(false)) {
    // The broker may have lost its retained messages (a restart without persistence).
    for (int s = 0; s < kLedgerSensorRows; ++s) {
      if (announced_expiry_[s] > 0) Queue(DiscoveryMessages(prefix_, s, announced_expiry_[s]));
    }
  }
  if (sensor < 0 || sensor >= kLedgerSensorRows || board_ == nullptr) return;
  SensorFigures figures;
  if (!board_->ReadRow(sensor, &figures)) return;
  // Announced once its interval is known, so that the hub's entity knows when to call the value
  // stale from the start; again only when that must grow (mqtt_messages.h).
  const int needed = ExpireAfterSeconds(figures);
  if (needed == 0 || !ExpiryMustGrow(announced_expiry_[sensor], needed)) return;
  announced_expiry_[sensor] = ExpiryToAnnounce(needed);
  Queue(DiscoveryMessages(prefix_, sensor, announced_expiry_[sensor]));
}

void MqttPublisher::OnRecord(const EventRecord& record) {
  if (client_ == nullptr) return;
  if (discovery_) Announce(record.sensor);
  if (unreported_records_ > 0 && connected_.load()) {
    Queue({{prefix_ + "/events",
            RecordsDroppedJson({record.tick_ms, clock_->Now()}, unreported_records_), 1, false}});
    unreported_records_ = 0;
    drop_said_ = false;
  }
  std::vector<MqttMessage> messages = RecordMessages(record, prefix_);
  for (MqttMessage& m : messages) m.qos = 1;
  Queue(std::move(messages));
  Pump();
}

void MqttPublisher::Finish() {
  if (client_ == nullptr) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (connector_.joinable()) connector_.join();
  if (connected_.load()) {
    // The will is for an unclean end; a clean one says it itself, retained for late readers,
    // after what still waits. The lock is held from the publish on, so that its
    // acknowledgement cannot come before goodbye_mid_ names it.
    {
      std::lock_guard<std::mutex> lock(outbox_mutex_);
      while (!outbox_.empty()) {
        if (!Send(outbox_.Next())) ++dropped_;
        outbox_.Sent();
      }
    }
    std::unique_lock<std::mutex> lock(mutex_);
    int mid = -1;
    if (Send({AvailabilityTopic(prefix_), kOffline, 1, true}, &mid)) {
      goodbye_mid_ = mid;
      wake_.wait_for(lock, std::chrono::milliseconds(kGoodbyeMs), [this] { return goodbye_sent_; });
    }
  } else {
    std::lock_guard<std::mutex> lock(outbox_mutex_);
    if (!outbox_.empty() && report_) {
      report_("MQTT broker " + broker() + " away at the end: " + std::to_string(outbox_.records()) +
              " records never reached it");
    }
  }
  mosquitto_disconnect(client_);
  if (loop_running_) mosquitto_loop_stop(client_, false);
  mosquitto_destroy(client_);
  client_ = nullptr;
  connected_ = false;
}
