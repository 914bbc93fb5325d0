// A smoke test of the network libraries as the Windows build links them: cpp-httplib header-only
// on Winsock 2, libmosquitto built static from source, nlohmann-json. It guards that build: the
// three link into a static program that runs without DLLs beside it, the HTTP server answers a
// Linux client on 127.0.0.1 through Wine's sockets, and a QoS 1 message leaves from the MQTT
// client's own loop thread (MinGW's winpthreads) and is acknowledged by a real broker. The
// program's own end-to-end tests of its HTTP and MQTT outputs are to replace it.
//
// Usage: wsmon_network_libraries BROKER_PORT TOPIC PORT_FILE
//   Publishes a reading as JSON to TOPIC at the broker on 127.0.0.1:BROKER_PORT (QoS 1) and waits
//   for the broker's acknowledgement; then serves the same JSON at GET /reading on a free port of
//   127.0.0.1, whose number it writes to PORT_FILE, until POST /quit.
// scripts/run-windows-tests.sh network starts it under Wine, with the broker and the clients.
#include <httplib.h>
#include <mosquitto.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <string>

namespace {

// Only a bound for a client that never answers: every wait ends on its condition.
constexpr std::chrono::seconds kLongestWait{60};

// What the client's loop thread reports, for the main thread to wait on.
struct Flight {
  std::mutex mutex;
  std::condition_variable changed;
  int connack = -1;
  std::set<int> acknowledged;
};

void OnConnect(mosquitto*, void* flight, int rc) {
  auto* f = static_cast<Flight*>(flight);
  std::lock_guard<std::mutex> lock(f->mutex);
  f->connack = rc;
  f->changed.notify_all();
}

void OnPublish(mosquitto*, void* flight, int mid) {
  auto* f = static_cast<Flight*>(flight);
  std::lock_guard<std::mutex> lock(f->mutex);
  f->acknowledged.insert(mid);
  f->changed.notify_all();
}

// Publishes PAYLOAD to TOPIC with QoS 1; true once the broker has acknowledged it.
bool Publish(int port, const std::string& topic, const std::string& payload) {
  Flight flight;
  mosquitto* client = mosquitto_new("wsmon-network-libraries", true, &flight);
  if (client == nullptr) {
    std::fprintf(stderr, "mosquitto_new failed\n");
    return false;
  }
  mosquitto_connect_callback_set(client, OnConnect);
  mosquitto_publish_callback_set(client, OnPublish);
  bool ok = false;
  // Connected in the background, as the program does: the non-blocking connect is where Winsock
  // differs (it says "would block" where Linux says "in progress").
  int rc = mosquitto_connect_async(client, "127.0.0.1", port, 30);
  if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_loop_start(client);
  if (rc != MOSQ_ERR_SUCCESS) {
    std::fprintf(stderr, "cannot reach the broker: %s\n", mosquitto_strerror(rc));
  } else {
    std::unique_lock<std::mutex> lock(flight.mutex);
    if (!flight.changed.wait_for(lock, kLongestWait, [&] { return flight.connack >= 0; }) ||
        flight.connack != 0) {
      std::fprintf(stderr, "the broker did not accept the connection: %s\n",
                   mosquitto_connack_string(flight.connack));
    } else {
      int mid = 0;
      lock.unlock();
      rc = mosquitto_publish(client, &mid, topic.c_str(), static_cast<int>(payload.size()),
                             payload.data(), 1, false);
      lock.lock();
      if (rc != MOSQ_ERR_SUCCESS) {
        std::fprintf(stderr, "mosquitto_publish failed: %s\n", mosquitto_strerror(rc));
      } else if (!flight.changed.wait_for(lock, kLongestWait,
                                          [&] { return flight.acknowledged.count(mid) > 0; })) {
        std::fprintf(stderr, "the broker did not acknowledge message %d\n", mid);
      } else {
        std::printf("published to %s with QoS 1, acknowledged\n", topic.c_str());
        ok = true;
      }
    }
    lock.unlock();
    mosquitto_disconnect(client);
    mosquitto_loop_stop(client, false);
  }
  mosquitto_destroy(client);
  return ok;
}

// Serves PAYLOAD at GET /reading until POST /quit; false when the server cannot start.
bool Serve(const std::string& payload, const std::string& port_file) {
  httplib::Server server;
  server.Get("/reading", [&](const httplib::Request&, httplib::Response& res) {
    res.set_content(payload, "application/json");
  });
  server.Post("/quit", [&](const httplib::Request&, httplib::Response& res) {
    res.set_content("stopping\n", "text/plain");
    server.stop();
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  if (port <= 0) {
    std::fprintf(stderr, "cannot listen on 127.0.0.1\n");
    return false;
  }
  // Written whole under another name first, so that a reader never sees half of it.
  const std::string partial = port_file + ".partial";
  std::ofstream(partial, std::ios::binary) << port << '\n';
  if (std::rename(partial.c_str(), port_file.c_str()) != 0) {
    std::fprintf(stderr, "cannot write %s\n", port_file.c_str());
    return false;
  }
  std::printf("serving on 127.0.0.1:%d\n", port);
  std::fflush(stdout);
  return server.listen_after_bind();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: wsmon_network_libraries BROKER_PORT TOPIC PORT_FILE\n");
    return 2;
  }
  // Made by the library, so that its number formatting and UTF-8 are what a client reads.
  const nlohmann::json fields = {
      {"sensor", 3}, {"temperature_C", -12.5}, {"humidity_RH", 47}, {"name", "传感器3"}};
  const std::string reading = fields.dump();
  mosquitto_lib_init();
  const bool published = Publish(std::atoi(argv[1]), argv[2], reading);
  mosquitto_lib_cleanup();
  if (!published) return 1;
  std::fflush(stdout);
  return Serve(reading, argv[3]) ? 0 : 1;
}
