#include "outputs/network/network_outputs.h"

#include <chrono>
#include <utility>

#include "app/monitor_state.h"
#include "reception/host_ticker.h"

namespace {

long Until(std::uint32_t due, std::uint32_t now) {
  const auto left = static_cast<std::int32_t>(due - now);
  return left > 0 ? left : 0;
}

}  // namespace

NetworkOutputs::NetworkOutputs(Clock* clock, const Ledger* ledger, Notice notice)
    : clock_(clock),
      ledger_(ledger),
      notice_(std::move(notice)),
      scratch_(std::make_unique<NetworkSnapshot>()),
      feed_(clock) {}

std::unique_ptr<NetworkOutputs> NetworkOutputs::Start(const NetworkOptions& options, Clock* clock,
                                                      const Ledger* ledger, Notice notice,
                                                      std::string* error) {
  std::unique_ptr<NetworkOutputs> out(new NetworkOutputs(clock, ledger, std::move(notice)));
  NetworkOutputs& o = *out;
  // The board holds figures before the first client can ask.
  o.PublishSnapshot(clock->TickCount());
  o.snapshot_wanted_ = false;

  // Both outputs exist before either starts: the server's threads ask after the publisher.
  std::vector<RecordListener*> listeners;
  if (options.http) {
    HttpServer::Sources sources;
    sources.board = &o.board_;
    sources.hub = &o.hub_;
    sources.clock = clock;
    sources.health = [&o] { return o.Health(); };
    o.http_ = std::make_unique<HttpServer>(options.http_endpoint, options.http_token, sources);
    listeners.push_back(&o.hub_);
  }
  if (options.mqtt) {
    const std::string prefix =
        options.mqtt_topic.empty() ? DefaultTopicPrefix() : options.mqtt_topic;
    o.mqtt_ = std::make_unique<MqttPublisher>(options.mqtt_endpoint, prefix, options.mqtt_discovery,
                                              &o.board_, clock,
                                              [&o](const std::string& text) { o.Say(text); });
    listeners.push_back(o.mqtt_.get());
  }
  if ((o.http_ && !o.http_->Start(error)) || (o.mqtt_ && !o.mqtt_->Start(error))) return nullptr;
  o.feed_.Start(listeners);
  if (o.http_) {
    o.Say("HTTP on " + o.http_->Url() + " (/metrics, /events, the live page at /)");
  }
  if (o.mqtt_) o.Say("MQTT to " + o.mqtt_->broker() + ", topics " + o.mqtt_->prefix() + "/...");
  return out;
}

NetworkOutputs::~NetworkOutputs() {
  // The feed hands every record on before the outputs end.
  feed_.Finish();
  if (mqtt_) mqtt_->Finish();
  if (http_) http_->Stop();
  PassOnWords();
}

void NetworkOutputs::PassOnWords() {
  std::vector<std::string> said;
  {
    std::lock_guard<std::mutex> lock(said_mutex_);
    said.swap(said_);
  }
  for (const std::string& text : said) {
    if (notice_) notice_(text);
  }
}

OutputHealth NetworkOutputs::Health() const {
  OutputHealth h;
  h.http = http_ != nullptr;
  h.events_clients = hub_.clients();
  h.events_clients_dropped = hub_.dropped_clients();
  h.mqtt = mqtt_ != nullptr;
  if (mqtt_) {
    h.mqtt_connected = mqtt_->connected();
    h.mqtt_published = mqtt_->published();
    h.mqtt_dropped = mqtt_->dropped();
  }
  return h;
}

void NetworkOutputs::Say(const std::string& text) {
  std::lock_guard<std::mutex> lock(said_mutex_);
  // Bounded too: a broker that comes and goes for days says a few words each time.
  if (said_.size() < 64) said_.push_back(text);
}

bool NetworkOutputs::PublishSnapshot(std::uint32_t now_tick) {
  NetworkSnapshot& s = *scratch_;
  ledger_->Snapshot(now_tick, s.ledger);
  s.time = clock_->Now();
  s.taken_tick = now_tick;
  s.epoch_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
                   .count();
  s.port_open = g_state.port_open == 1;
  s.port_lost = g_state.port_lost == 1;
  s.feed_dropped = feed_.dropped();
  if (mqtt_) mqtt_->SetReceiverUp(s.port_open && !s.port_lost);
  return board_.TryPublish(s);
}

long NetworkOutputs::MillisecondsToTick(std::uint32_t now_tick) const {
  long wait = Until(look_due_, now_tick);
  if (snapshot_wanted_) wait = SoonerWait(wait, Until(snapshot_due_, now_tick));
  return wait;
}

void NetworkOutputs::Tick(std::uint32_t now_tick) {
  if (snapshot_wanted_ && Until(snapshot_due_, now_tick) == 0) {
    if (PublishSnapshot(now_tick)) {
      snapshot_wanted_ = ledger_->Run().active;
      snapshot_due_ = now_tick + kSnapshotPeriodMs;
    } else {
      snapshot_due_ = now_tick + kRetryMs;
    }
  }
  if (Until(look_due_, now_tick) > 0) return;
  look_due_ = now_tick + kNoticeLookMs;
  PassOnWords();
}
