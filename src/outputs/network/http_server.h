// The HTTP server of --http, on threads of its own: GET /metrics (the Prometheus text), GET
// /events (the event stream as JSON Lines, chunked, a keep-alive record every 30 s), GET / (the
// live page), and the two JSON documents that page reads, GET /state and GET /history.
//
// The monitor's thread never waits for it: it reads the figures from the snapshot board and the
// records from the event hub, both filled without waiting. A connection waits at a gate until
// its request has come whole (request_gate.h: slow or silent clients are closed there after a
// few seconds and never hold a thread), then a fixed pool of threads serves that one request
// and closes the connection; a client is given 5 s for each read and write after that, and a
// reader of /events that does not keep up is dropped (event_hub.h). Methods other than GET and
// HEAD are answered 405 at once.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "app/clock.h"
#include "outputs/network/event_hub.h"
#include "outputs/network/network_options.h"
#include "outputs/network/prometheus_text.h"
#include "outputs/network/snapshot_board.h"

class GatedServer;

class HttpServer {
 public:
  static constexpr int kThreads = EventHub::kMaxClients + 4;
  static constexpr int kIoTimeoutSeconds = 5;
  static constexpr int kKeepAliveSeconds = 30;  // between records of /events

  struct Sources {
    const SnapshotBoard* board = nullptr;
    EventHub* hub = nullptr;
    Clock* clock = nullptr;  // read on the server's threads, for the keep-alive records
    std::function<OutputHealth()> health;
  };

  // token empty: no Authorization asked for.
  HttpServer(HttpEndpoint endpoint, std::string token, Sources sources);
  ~HttpServer();  // as Stop
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Binds the address and starts serving; false with the reason when the address cannot be had.
  bool Start(std::string* error);
  // The port bound (the one chosen for port 0).
  int port() const { return port_; }
  std::string Url() const;
  // Ends every connection and the server's threads. The hub must be closed first or here.
  void Stop();

 private:
  void Route();

  HttpEndpoint endpoint_;
  std::string token_;
  Sources sources_;
  std::unique_ptr<GatedServer> server_;
  std::thread thread_;
  int port_ = 0;
};
