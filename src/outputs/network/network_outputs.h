// The network outputs of a front end (--http, --mqtt), put together: the event stream from a
// JsonLinesWriter through the feed's pipe to the HTTP server's event hub and the MQTT publisher,
// and the ledger's figures through the snapshot board to /metrics, the live page and the MQTT
// discovery. On the monitor's thread it is a listener of the host's readings and a ticker of
// its loop: it publishes a snapshot every second of a run and after every change of the run or
// the port, and passes on what the other threads have to say.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/clock.h"
#include "ledger/ledger.h"
#include "outputs/json_lines_writer.h"
#include "outputs/network/event_hub.h"
#include "outputs/network/feed_pipe.h"
#include "outputs/network/http_server.h"
#include "outputs/network/mqtt_publisher.h"
#include "outputs/network/network_options.h"
#include "outputs/network/snapshot_board.h"
#include "platform/memory/monitor_host.h"
#include "reception/host_ticker.h"

// Whether the options ask for any network output.
bool NetworkWanted(const NetworkOptions& options);

class NetworkOutputs : public ReadingSink, public HostTicker {
 public:
  static constexpr std::uint32_t kSnapshotPeriodMs = 1000;
  static constexpr std::uint32_t kRetryMs = 10;        // when a reader held the board
  static constexpr std::uint32_t kNoticeLookMs = 500;  // how soon other threads' words show

  // What the outputs have to say to the operator, told on the monitor's thread.
  using Notice = std::function<void(const std::string&)>;

  // Starts the outputs the options ask for and adds them to the host (before host->Create()).
  // ledger: the front end's ledger (its RunOutputs'), already in the host's fanout; nullptr:
  // the outputs bring their own (MakeOwnLedger), as the capture benchmark has them. nullptr and the
  // reason when an output cannot start (an address in use, no pipe).
  static std::unique_ptr<NetworkOutputs> Start(const NetworkOptions& options, MonitorHost* host,
                                               Clock* clock, Ledger* ledger, Notice notice,
                                               std::string* error);
  // Writes out what the feed still holds, says "offline" to the broker, ends the server. Before
  // the host goes.
  ~NetworkOutputs() override;
  NetworkOutputs(const NetworkOutputs&) = delete;
  NetworkOutputs& operator=(const NetworkOutputs&) = delete;

  // The server's address ("http://127.0.0.1:9100/"), or "" without --http.
  std::string http_url() const { return http_ ? http_->Url() : ""; }
  int http_port() const { return http_ ? http_->port() : 0; }
  OutputHealth Health() const;

  long MillisecondsToTick(std::uint32_t now_tick) const override;
  void Tick(std::uint32_t now_tick) override;

  void OnReading(const ReadingEvent&) override {}
  void OnError(const ErrorEvent&) override {}
  void OnRunStarted() override { Soon(); }
  void OnExported(const char*) override { Soon(); }
  void OnRunStopped(std::uint32_t) override { Soon(); }
  void OnPortLost(const PortEvent&) override { Soon(); }
  void OnPortBack(const PortEvent&) override { Soon(); }

 private:
  NetworkOutputs(Clock* clock, Notice notice);
  // For a host without a front end's ledger: the network outputs keep one of their own.
  static std::unique_ptr<Ledger> MakeOwnLedger(Clock* clock);
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
  Notice notice_;
  std::unique_ptr<Ledger> own_ledger_;
  Ledger* ledger_ = nullptr;
  SnapshotBoard board_;
  std::unique_ptr<NetworkSnapshot> scratch_;  // the monitor's thread fills it, then publishes
  std::uint32_t snapshot_due_ = 0;
  bool snapshot_wanted_ = true;  // false while no run goes on and the board is up to date
  std::uint32_t look_due_ = 0;   // when to pass on the other threads' words next
  EventHub hub_;
  std::unique_ptr<FeedPipe> feed_;
  std::unique_ptr<JsonLinesWriter> writer_;
  std::unique_ptr<HttpServer> http_;
  std::unique_ptr<MqttPublisher> mqtt_;

  mutable std::mutex said_mutex_;
  std::vector<std::string> said_;
};
