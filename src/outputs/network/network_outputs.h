// The network outputs (--http, --mqtt), put together: the event stream's records through the
// feed's queue to the HTTP server's event hub and the MQTT publisher, and the ledger's figures
// through the snapshot board to /metrics, the live page and the MQTT discovery. On the monitor's
// thread it hears the run's events after the ledger (outputs.h), takes the records and ticks:
// it publishes a snapshot every second of a run and after every change of the run or the port,
// and passes on what the other threads have to say.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/clock.h"
#include "ledger/ledger.h"
#include "outputs/event_record.h"
#include "outputs/network/event_hub.h"
#include "outputs/network/feed_queue.h"
#include "outputs/network/http_server.h"
#include "outputs/network/mqtt_publisher.h"
#include "outputs/network/network_options.h"
#include "outputs/network/snapshot_board.h"
#include "reception/reading_sink.h"

class NetworkOutputs : public ReadingSink, public RecordListener {
 public:
  static constexpr std::uint32_t kSnapshotPeriodMs = 1000;
  static constexpr std::uint32_t kRetryMs = 10;        // when a reader held the board
  static constexpr std::uint32_t kNoticeLookMs = 500;  // how soon other threads' words show

  // What the outputs have to say to the operator, told on the monitor's thread.
  using Notice = std::function<void(const std::string&)>;

  // Starts the outputs the options ask for, with the ledger that hears every event first. The
  // clock is read on the outputs' threads too. nullptr and the reason when an output cannot
  // start (an address in use).
  static std::unique_ptr<NetworkOutputs> Start(const NetworkOptions& options, Clock* clock,
                                               const Ledger* ledger, Notice notice,
                                               std::string* error);
  // Hands on what the feed still holds, says "offline" to the broker, ends the server.
  ~NetworkOutputs() override;
  NetworkOutputs(const NetworkOutputs&) = delete;
  NetworkOutputs& operator=(const NetworkOutputs&) = delete;

  // The server's address ("http://127.0.0.1:9100/"), or "" without --http.
  std::string http_url() const { return http_ ? http_->Url() : ""; }
  int http_port() const { return http_ ? http_->port() : 0; }
  OutputHealth Health() const;

  long MillisecondsToTick(std::uint32_t now_tick) const;
  void Tick(std::uint32_t now_tick);

  void OnRecord(const EventRecord& record) override { feed_.OnRecord(record); }

  void OnReading(const ReadingEvent&) override {}
  void OnError(const ErrorEvent&) override {}
  void OnRunStarted() override { Soon(); }
  void OnExported(const char*) override { Soon(); }
  void OnRunStopped(std::uint32_t) override { Soon(); }
  void OnPortLost(const PortEvent&) override { Soon(); }
  void OnPortBack(const PortEvent&) override { Soon(); }

 private:
  NetworkOutputs(Clock* clock, const Ledger* ledger, Notice notice);
  // Said by any thread; told on the monitor's.
  void Say(const std::string& text);
  // Tells the notice what was said since the last time (the monitor's thread).
  void PassOnWords();
  void Soon() {
    snapshot_wanted_ = true;
    snapshot_due_ = clock_->TickCount();
  }
  bool PublishSnapshot(std::uint32_t now_tick);

  Clock* clock_;
  const Ledger* ledger_;
  Notice notice_;
  SnapshotBoard board_;
  std::unique_ptr<NetworkSnapshot> scratch_;  // the monitor's thread fills it, then publishes
  std::uint32_t snapshot_due_ = 0;
  bool snapshot_wanted_ = true;  // false while no run goes on and the board is up to date
  std::uint32_t look_due_ = 0;   // when to pass on the other threads' words next
  EventHub hub_;
  FeedQueue feed_;
  std::unique_ptr<HttpServer> http_;
  std::unique_ptr<MqttPublisher> mqtt_;

  mutable std::mutex said_mutex_;
  std::vector<std::string> said_;
};
