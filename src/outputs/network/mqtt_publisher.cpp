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

// A new expiry that differs from the announced one by a quarter or more is announced again.
bool ExpiryMoved(int announced, int now) {
  if (announced < 0) return true;
  if (announced == 0 || now == 0) return announced != now;
  const int difference = announced > now ? announced - now : now - announced;
  return difference * 4 >= announced;
}

}  // namespace

MqttPublisher::MqttPublisher(MqttEndpoint endpoint, std::string prefix, bool discovery,
                             const SnapshotBoard* board, Clock* clock,
                             std::function<void(const std::string&)> report)
    : endpoint_(std::move(endpoint)),
      prefix_(std::move(prefix)),
      discovery_(discovery),
      board_(board),
      clock_(clock),
      report_(std::move(report)) {
  for (int& expiry : announced_expiry_) expiry = -1;
}

MqttPublisher::~MqttPublisher() {
  Finish();
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
    rc = mosquitto_reconnect_delay_set(client_, 1, kLongestPauseSeconds, true);
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
  // What was queued before the connection broke went with it.
  p->in_flight_ = 0;
  p->connected_ = true;
  p->wake_.notify_all();
  p->announce_again_ = true;
  if (!p->reachable_said_.exchange(true) && p->report_) {
    p->report_("MQTT broker " + p->broker() + " connected");
  }
  p->Send({AvailabilityTopic(p->prefix_), kOnline, 1, true});
}

void MqttPublisher::OnDisconnect(mosquitto*, void* self, int rc) {
  auto* p = static_cast<MqttPublisher*>(self);
  p->connected_ = false;
  if (rc != 0 && p->reachable_said_.exchange(false) && p->report_) {
    p->report_("MQTT broker " + p->broker() +
               " lost; wsmon reconnects in the background (records meanwhile are dropped)");
  }
}

void MqttPublisher::OnPublish(mosquitto*, void* self, int mid) {
  auto* p = static_cast<MqttPublisher*>(self);
  if (p->in_flight_.load() > 0) --p->in_flight_;
  std::lock_guard<std::mutex> lock(p->mutex_);
  if (mid == p->goodbye_mid_) {
    p->goodbye_sent_ = true;
    p->wake_.notify_all();
  }
}

bool MqttPublisher::Send(const MqttMessage& m, int* mid) {
  if (!connected_.load() || in_flight_.load() >= kMaxInFlight) return false;
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

void MqttPublisher::Announce(int sensor) {
  if (sensor < 0 || sensor >= kLedgerSensorRows) return;
  if (announce_again_.exchange(false)) {
    for (int& expiry : announced_expiry_) expiry = -1;
  }
  SensorFigures figures;
  const int expiry =
      board_ != nullptr && board_->ReadRow(sensor, &figures) ? ExpireAfterSeconds(figures) : 0;
  if (!ExpiryMoved(announced_expiry_[sensor], expiry)) return;
  bool sent = true;
  for (const MqttMessage& m : DiscoveryMessages(prefix_, sensor, expiry)) sent = Send(m) && sent;
  if (sent) announced_expiry_[sensor] = expiry;
}

void MqttPublisher::OnRecord(const EventRecord& record) {
  if (client_ == nullptr) return;
  if (!connected_.load()) {
    ++unreported_records_;
    dropped_ += RecordMessages(record, prefix_).size();
    return;
  }
  if (discovery_) Announce(record.sensor);
  if (unreported_records_ > 0) {
    if (Send({prefix_ + "/events",
              RecordsDroppedJson({record.tick_ms, clock_->Now()}, unreported_records_)})) {
      unreported_records_ = 0;
    }
  }
  bool whole = true;
  for (const MqttMessage& m : RecordMessages(record, prefix_)) {
    if (!Send(m)) {
      ++dropped_;
      whole = false;
    }
  }
  if (!whole) ++unreported_records_;
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
    // The will is for an unclean end; a clean one says it itself, retained for late readers.
    // The lock is held from the publish on, so that its acknowledgement cannot come before
    // goodbye_mid_ names it.
    std::unique_lock<std::mutex> lock(mutex_);
    in_flight_ = 0;  // the goodbye goes whatever still waits
    int mid = -1;
    if (Send({AvailabilityTopic(prefix_), kOffline, 1, true}, &mid)) {
      goodbye_mid_ = mid;
      wake_.wait_for(lock, std::chrono::milliseconds(kGoodbyeMs), [this] { return goodbye_sent_; });
    }
  }
  mosquitto_disconnect(client_);
  if (loop_running_) mosquitto_loop_stop(client_, false);
  mosquitto_destroy(client_);
  client_ = nullptr;
  connected_ = false;
}
