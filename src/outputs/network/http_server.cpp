#include "outputs/network/http_server.h"

#include <httplib.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <utility>
#include <vector>

#include "display/number_format.h"
#include "display/text_line.h"
#include "ledger/ledger_table.h"
#include "outputs/json_events.h"
#include "outputs/network/http_auth.h"
#include "outputs/network/live_page.h"
#include "outputs/network/network_host.h"
#include "outputs/network/request_gate.h"
#include "outputs/network/socket_io.h"

namespace {

// A fixed pool of threads for the connections. When every thread is busy and kWaiting
// connections wait for one, the acceptor waits too, so that further connections wait in the
// system's listen queue rather than in memory (or in descriptors the serial port may need).
class BoundedPool : public httplib::TaskQueue {
 public:
  static constexpr std::size_t kWaiting = 16;

  explicit BoundedPool(int threads) {
    for (int i = 0; i < threads; ++i) threads_.emplace_back([this] { Work(); });
  }
  ~BoundedPool() override = default;
  BoundedPool(const BoundedPool&) = delete;
  BoundedPool& operator=(const BoundedPool&) = delete;

  void enqueue(std::function<void()> job) override {
    std::unique_lock<std::mutex> lock(mutex_);
    room_.wait(lock, [this] { return stopping_ || jobs_.size() < kWaiting; });
    // Once stopping, the job still runs: it closes its connection.
    jobs_.push_back(std::move(job));
    work_.notify_one();
  }

  void shutdown() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    work_.notify_all();
    room_.notify_all();
    for (std::thread& t : threads_) t.join();
  }

 private:
  void Work() {
    for (;;) {
      std::function<void()> job;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        work_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (jobs_.empty()) return;  // stopping, and nothing left
        job = std::move(jobs_.front());
        jobs_.pop_front();
        room_.notify_one();
      }
      job();
    }
  }

  std::mutex mutex_;
  std::condition_variable work_;
  std::condition_variable room_;
  std::deque<std::function<void()>> jobs_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

// The acceptor's queue: what it hands on only passes the connection to the gate, at once.
class AtOnce : public httplib::TaskQueue {
 public:
  void enqueue(std::function<void()> job) override { job(); }
  void shutdown() override {}
};

// One request's connection, read through a small buffer, each read and write within its limit.
class RequestStream : public httplib::Stream {
 public:
  RequestStream(socket_t socket, int read_ms, int write_ms)
      : socket_(socket), read_ms_(read_ms), write_ms_(write_ms) {}

  bool is_readable() const override {
    return begin_ < end_ || SocketReady(socket_, false, read_ms_);
  }
  bool is_writable() const override { return SocketReady(socket_, true, write_ms_); }
  ssize_t read(char* ptr, size_t size) override {
    if (begin_ == end_) {
      const long n = ReadSocket(socket_, buffer_, sizeof buffer_, read_ms_);
      if (n <= 0) return n;
      begin_ = 0;
      end_ = static_cast<std::size_t>(n);
    }
    const std::size_t taken = std::min(size, end_ - begin_);
    std::memcpy(ptr, buffer_ + begin_, taken);
    begin_ += taken;
    return static_cast<ssize_t>(taken);
  }
  ssize_t write(const char* ptr, size_t size) override {
    return WriteSocket(socket_, ptr, size, write_ms_);
  }
  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    SocketAddress(socket_, true, &ip, &port);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    SocketAddress(socket_, false, &ip, &port);
  }
  socket_t socket() const override { return socket_; }

 private:
  socket_t socket_;
  int read_ms_;
  int write_ms_;
  char buffer_[4096];
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
};

}  // namespace

// The library's server, its connections passed through the gate before they take a thread,
// and one request served on each: with keep-alive, a client could send its next request as
// slowly as it liked on a thread already its own.
class GatedServer : public httplib::Server {
 public:
  GatedServer() : gate_([this](socket_t s) { pool_->enqueue([this, s] { Serve(s); }); }) {
    new_task_queue = [] { return new AtOnce; };
  }

  void StartServing() {
    pool_ = std::make_unique<BoundedPool>(HttpServer::kThreads);
    gate_.Start();
  }
  // After the server stopped listening.
  void StopServing() {
    gate_.Stop();
    if (pool_) pool_->shutdown();
  }
  const RequestGate& gate() const { return gate_; }

 private:
  bool process_and_close_socket(socket_t sock) override {
    gate_.Admit(sock);
    return true;
  }
  void Serve(socket_t sock) {
    RequestStream stream(sock, HttpServer::kIoTimeoutSeconds * 1000,
                         HttpServer::kIoTimeoutSeconds * 1000);
    bool closed = false;
    process_request(stream, true, closed, nullptr);
    CloseSocket(sock);
  }

  std::unique_ptr<BoundedPool> pool_;
  RequestGate gate_;
};

namespace {

// A second program must not listen on the same port unnoticed and take half the connections:
// an address in use is refused.
void ListenerOptions(socket_t sock) {
  RefuseSharedPort(static_cast<std::uintptr_t>(sock));
}

std::string KeepaliveJson(Clock& clock) {
  const std::uint32_t tick = clock.TickCount();
  return "{\"event\":\"keepalive\",\"time\":\"" + IsoLocalTime(clock.Now()) +
         "\",\"tick_ms\":" + std::to_string(tick) + "}\n";
}

// The ledger's table as the screens show it: the columns (the records' key, the header, what it
// is), a row of texts per watched sensor and the refused ids last, and the run's duration.
std::string TableJson(const LedgerSnapshot& s) {
  using Json = nlohmann::ordered_json;
  const ScreenTable table = MakeScreenTable(s, false);
  Json columns = Json::array();
  for (const LedgerFigure* f : table.columns) {
    columns.push_back({{"key", f->key != nullptr ? Json(f->key) : Json(nullptr)},
                       {"header", f->header},
                       {"help", f->help}});
  }
  Json rows = Json::array();
  for (std::size_t r = 0; r < table.rows.size(); ++r) {
    const bool refused = table.rows[r]->row == kRefusedRow;
    rows.push_back({{"sensor", refused ? Json(nullptr) : Json(table.rows[r]->row)},
                    {"silent", table.rows[r]->silent},
                    {"cells", table.cells[r]}});
  }
  std::string duration;
  for (const LedgerFigure& f : RunFigureTable()) {
    if (f.key != nullptr && std::string(f.key) == "duration_ms") {
      duration = ScreenText(f, f.value(s, s.rows[kRefusedRow]));
    }
  }
  const Json json = {{"columns", columns}, {"rows", rows}, {"duration_s", duration}};
  return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string StateJson(const NetworkSnapshot& s) {
  // The box's own rounding, from the counts it shows (which never pass INT_MAX there).
  const std::uint64_t good = GoodFrames(s.ledger);
  const std::uint64_t errors = ErrorEvents(s.ledger);
  const auto box = [](std::uint64_t n) { return static_cast<int>(n < INT_MAX ? n : INT_MAX); };
  TextLine ratio;
  AppendErrorRatio(ratio, box(errors), box(good));
  return "{\"counters\":{\"good\":" + std::to_string(good) +
         ",\"errors\":" + std::to_string(errors) + ",\"ratio_percent\":\"" + ratio.c_str() +
         "\"},\"port_open\":" + (s.port_open ? "true" : "false") +
         ",\"ledger\":" + LedgerJson(s.ledger, s.time) + ",\"table\":" + TableJson(s.ledger) + "}";
}

void NoFigures(httplib::Response& res) {
  res.status = 503;
  res.set_content("no figures yet\n", "text/plain; charset=utf-8");
}

}  // namespace

HttpServer::HttpServer(HttpEndpoint endpoint, std::string token, Sources sources)
    : endpoint_(std::move(endpoint)), token_(std::move(token)), sources_(std::move(sources)) {}

HttpServer::~HttpServer() {
  Stop();
}

std::string HttpServer::Url() const {
  return EndpointUrl(endpoint_.address, endpoint_.ipv6, port_) + "/";
}

bool HttpServer::Start(std::string* error) {
  server_ = std::make_unique<GatedServer>();
  GatedServer& s = *server_;
  s.set_socket_options(ListenerOptions);
  s.set_address_family(endpoint_.ipv6 ? AF_INET6 : AF_INET);
  s.set_payload_max_length(8192);
  s.set_tcp_nodelay(true);
  Route();
  ClearSocketError();
  const bool bound = endpoint_.port == 0 ? (port_ = s.bind_to_any_port(endpoint_.address)) > 0
                                         : s.bind_to_port(endpoint_.address, endpoint_.port);
  if (!bound) {
    const int why = LastSocketError();
    *error = "cannot serve HTTP on " +
             EndpointUrl(endpoint_.address, endpoint_.ipv6, endpoint_.port) + ": " +
             (why != 0 ? SocketErrorText(why) : "the address cannot be bound");
    server_.reset();
    return false;
  }
  if (endpoint_.port != 0) port_ = endpoint_.port;
  s.StartServing();
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  return true;
}

void HttpServer::Stop() {
  if (sources_.hub != nullptr) sources_.hub->Close();
  if (server_) server_->stop();
  if (thread_.joinable()) thread_.join();
  if (server_) server_->StopServing();
  server_.reset();
}

void HttpServer::Route() {
  httplib::Server& s = *server_;
  s.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    res.set_header("Cache-Control", "no-store");
    res.set_header("X-Content-Type-Options", "nosniff");
    // Nothing here takes a request body: refused before one is waited for.
    if (req.method != "GET" && req.method != "HEAD") {
      res.status = 405;
      res.set_header("Allow", "GET, HEAD");
      res.set_content("405 method not allowed: only GET and HEAD\n", "text/plain; charset=utf-8");
      return httplib::Server::HandlerResponse::Handled;
    }
    if (token_.empty() || Authorized(req.get_header_value("Authorization"), token_)) {
      return httplib::Server::HandlerResponse::Unhandled;
    }
    res.status = 401;
    res.set_header("WWW-Authenticate", "Bearer realm=\"wsmon\"");
    res.set_header("WWW-Authenticate", "Basic realm=\"wsmon\", charset=\"UTF-8\"");
    res.set_content("401 unauthorized: this server asks for its token\n",
                    "text/plain; charset=utf-8");
    return httplib::Server::HandlerResponse::Handled;
  });

  s.Get("/", [](const httplib::Request&, httplib::Response& res) {
    // Everything the page needs is in it or comes from this server.
    res.set_header("Content-Security-Policy",
                   "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
                   "connect-src 'self'; img-src 'self' data:");
    res.set_content(kLivePage, "text/html; charset=utf-8");
  });

  s.Get("/metrics", [this](const httplib::Request&, httplib::Response& res) {
    auto snapshot = std::make_unique<NetworkSnapshot>();
    if (!sources_.board->Read(snapshot.get())) return NoFigures(res);
    const OutputHealth health = sources_.health ? sources_.health() : OutputHealth{};
    res.set_content(PrometheusText(*snapshot, health), "text/plain; version=0.0.4; charset=utf-8");
  });

  s.Get("/state", [this](const httplib::Request&, httplib::Response& res) {
    auto snapshot = std::make_unique<NetworkSnapshot>();
    if (!sources_.board->Read(snapshot.get())) return NoFigures(res);
    res.set_content(StateJson(*snapshot), "application/json");
  });

  s.Get("/history", [this](const httplib::Request&, httplib::Response& res) {
    res.set_content(sources_.hub->HistoryJson(), "application/json");
  });

  s.Get("/events", [this](const httplib::Request&, httplib::Response& res) {
    std::shared_ptr<EventHub::Client> client = sources_.hub->Join();
    if (!client) {
      res.status = 503;
      res.set_header("Retry-After", "10");
      res.set_content("too many readers of /events\n", "text/plain; charset=utf-8");
      return;
    }
    EventHub* hub = sources_.hub;
    Clock* clock = sources_.clock;
    // Not a type the library compresses, so that every record leaves as it comes.
    res.set_chunked_content_provider(
        "application/x-ndjson",
        [hub, client, clock](std::size_t, httplib::DataSink& sink) {
          std::string lines;
          if (!hub->Next(*client, &lines, std::chrono::seconds(kKeepAliveSeconds))) return false;
          if (lines.empty()) lines = KeepaliveJson(*clock);
          return sink.write(lines.data(), lines.size());
        },
        [hub, client](bool) { hub->Leave(client); });
  });
}
