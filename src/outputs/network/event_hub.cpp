#include "outputs/network/event_hub.h"

#include <algorithm>
#include <nlohmann/json.hpp>

EventHub::EventHub() : points_(static_cast<std::size_t>(kLedgerSensorRows) * kHistoryPoints) {}

std::shared_ptr<EventHub::Client> EventHub::Join() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (closed_ || static_cast<int>(clients_.size()) >= kMaxClients) return nullptr;
  clients_.push_back(std::make_shared<Client>());
  return clients_.back();
}

void EventHub::Leave(const std::shared_ptr<Client>& client) {
  std::lock_guard<std::mutex> lock(mutex_);
  clients_.erase(std::remove(clients_.begin(), clients_.end(), client), clients_.end());
}

bool EventHub::Next(Client& client, std::string* lines, std::chrono::milliseconds wait) {
  std::unique_lock<std::mutex> lock(mutex_);
  client.wake.wait_for(lock, wait,
                       [&] { return closed_ || client.dropped || !client.queue.empty(); });
  if (client.dropped) return false;
  // What came before the close still goes out (the run's last records, at the program's end).
  if (client.queue.empty()) return !closed_;
  lines->swap(client.queue);
  client.queue.clear();
  return true;
}

void EventHub::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  closed_ = true;
  for (const auto& client : clients_) client->wake.notify_all();
}

void EventHub::OnRecord(const EventRecord& record) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& client : clients_) {
    if (client->dropped) continue;
    if (client->queue.size() + record.text.size() + 1 > kQueueLimit) {
      // Its reader fell behind by a whole queue: the connection ends rather than skip records
      // that the reader would take for a complete stream.
      client->dropped = true;
      client->queue.clear();
      client->queue.shrink_to_fit();
      ++dropped_clients_;
    } else {
      client->queue += record.text;
      client->queue += '\n';
    }
    client->wake.notify_all();
  }
  if (record.kind == EventRecord::Kind::kRunStarted) {
    for (Track& track : tracks_) track = Track{};
    errors_.clear();
  }
  if (record.kind == EventRecord::Kind::kError) {
    if (errors_.size() == kHistoryErrors) errors_.pop_front();
    errors_.push_back(record.text);
  }
  if (record.kind != EventRecord::Kind::kReading || record.sensor < 0 ||
      record.sensor >= kLedgerSensorRows) {
    return;
  }
  Track& track = tracks_[record.sensor];
  const int slot = (track.start + track.count) % kHistoryPoints;
  points_[static_cast<std::size_t>(record.sensor) * kHistoryPoints + slot] = {
      record.tick_ms, record.has_temperature, record.temperature_sixteenths, record.has_humidity,
      record.humidity_tenths};
  if (track.count < kHistoryPoints) {
    ++track.count;
  } else {
    track.start = (track.start + 1) % kHistoryPoints;
  }
}

std::string EventHub::HistoryJson() const {
  using Json = nlohmann::ordered_json;
  Json sensors = Json::object();
  std::lock_guard<std::mutex> lock(mutex_);
  for (int sensor = 0; sensor < kLedgerSensorRows; ++sensor) {
    const Track& track = tracks_[sensor];
    if (track.count == 0) continue;
    Json points = Json::array();
    for (int i = 0; i < track.count; ++i) {
      const Point& p = points_[static_cast<std::size_t>(sensor) * kHistoryPoints +
                               (track.start + i) % kHistoryPoints];
      points.push_back(Json::array(
          {p.tick_ms, p.has_temperature ? Json(p.temperature_sixteenths / 16.0) : Json(nullptr),
           p.has_humidity ? Json(p.humidity_tenths / 10.0) : Json(nullptr)}));
    }
    sensors[std::to_string(sensor)] = points;
  }
  Json errors = Json::array();
  for (const std::string& text : errors_) {
    errors.push_back(Json::parse(text, nullptr, false));
  }
  Json history;
  history["sensors"] = sensors;
  history["errors"] = errors;
  return history.dump();
}

int EventHub::clients() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(clients_.size());
}

std::uint64_t EventHub::dropped_clients() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return dropped_clients_;
}
