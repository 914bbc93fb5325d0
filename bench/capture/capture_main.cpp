// wsmon_capture (run by make bench): how much of a fault-free stream the monitor shows at 9600,
// 19200 and 38400 baud, at about 4, 40 and 160 frames per second and at the line maximum, beside
// a plain reader of the same stream. Options: --seconds S (per point, default 5), --seed N,
// --baud B (that line only), --sim PATH (default: wsmon-sim of the same build). With --network
// the monitor runs with its network outputs on, as wsmon --http --mqtt does: a mosquitto broker
// of its own on a free port of 127.0.0.1 takes the MQTT messages, and a reader of /events that
// never reads stays attached all along.
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "capture/capture_run.h"

namespace {

std::string Rate(const CapturePoint& point) {
  char text[32];
  if (point.frames_per_second > 0) {
    std::snprintf(text, sizeof text, "%.0f", point.frames_per_second);
  } else {
    std::snprintf(text, sizeof text, "%.1f (line max.)", LineMaximum(point.baud));
  }
  return text;
}

double LostPercent(const CaptureResult& r) {
  return r.sent > 0 ? 100.0 * static_cast<double>(r.sent - r.received) / static_cast<double>(r.sent)
                    : 0;
}

// mosquitto on a free port of 127.0.0.1, for --network.
class Broker {
 public:
  bool Start(std::string* error) {
    port_ = FreePort();
    conf_ = "/tmp/wsmon-capture-broker-" + std::to_string(::getpid()) + ".conf";
    std::FILE* f = std::fopen(conf_.c_str(), "w");
    if (f == nullptr || port_ == 0) {
      *error = "no port or configuration file for the broker";
      return false;
    }
    std::fprintf(f,
                 "listener %d 127.0.0.1\nallow_anonymous true\npersistence false\nlog_dest none\n",
                 port_);
    std::fclose(f);
    const char* args[] = {"mosquitto", "-c", conf_.c_str(), nullptr};
    if (::posix_spawnp(&pid_, "mosquitto", nullptr, nullptr, const_cast<char**>(args), environ) !=
        0) {
      pid_ = -1;
      *error = "cannot start mosquitto (Debian package mosquitto)";
      return false;
    }
    for (int i = 0; i < 100; ++i) {
      if (Answers()) return true;
      ::usleep(50000);
    }
    *error = "mosquitto does not answer";
    return false;
  }
  ~Broker() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
    if (!conf_.empty()) std::remove(conf_.c_str());
  }
  int port() const { return port_; }

 private:
  static int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
                    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) == 0;
    ::close(fd);
    return ok ? ntohs(a.sin_port) : 0;
  }
  bool Answers() const {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port_));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
  }

  int port_ = 0;
  pid_t pid_ = -1;
  std::string conf_;
};

}  // namespace

int main(int argc, char** argv) {
  CapturePoint base;
  std::vector<char*> words(argv, argv + argc);
  for (auto w = words.begin(); w != words.end();) {
    if (std::strcmp(*w, "--network") == 0) {
      base.network = true;
      w = words.erase(w);
    } else {
      ++w;
    }
  }
  argc = static_cast<int>(words.size());
  argv = words.data();
  std::string sim = WSMON_SIM_PATH;
  std::uint32_t only_baud = 0;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--seconds") == 0) base.seconds = std::atof(argv[i + 1]);
    if (std::strcmp(argv[i], "--seed") == 0) base.seed = std::strtoull(argv[i + 1], nullptr, 10);
    if (std::strcmp(argv[i], "--baud") == 0)
      only_baud = static_cast<std::uint32_t>(std::atol(argv[i + 1]));
    if (std::strcmp(argv[i], "--sim") == 0) sim = argv[i + 1];
  }
  if (!(base.seconds > 0)) base.seconds = 5;
  Broker broker;
  if (base.network) {
    // A reader that went away must not end the program; the monitor's programs ignore it too.
    ::signal(SIGPIPE, SIG_IGN);
    std::string error;
    if (!broker.Start(&error)) {
      std::printf("The network outputs cannot be measured: %s\n", error.c_str());
      return 1;
    }
    base.broker_port = broker.port();
  }

  std::printf("Capture of a fault-free stream, 4 sensors, %.0f s per point, seed %llu%s\n\n",
              base.seconds, static_cast<unsigned long long>(base.seed),
              base.network ? "; the monitor with --http (a reader of /events that never reads "
                             "attached) and --mqtt to a broker"
                           : "");
  std::printf(
      "| line | offered frames/s | sent | plain reader | monitor shown | lost | invented errors "
      "(ERR4) | poll cycles | cycle ms: mean / max while streaming / max | period ms | CPU "
      "us/frame |\n"
      "|---|---|---|---|---|---|---|---|---|---|---|\n");
  bool measured = true;
  bool target = true;
  for (std::uint32_t baud : {9600u, 19200u, 38400u}) {
    if (only_baud != 0 && baud != only_baud) continue;
    for (double rate : {4.0, 40.0, 160.0, 0.0}) {
      if (rate > LineMaximum(baud)) continue;  // more than the line carries
      CapturePoint point = base;
      point.baud = baud;
      point.frames_per_second = rate;
      const CaptureResult reader = CaptureWithReader(point, sim);
      const CaptureResult monitor = CaptureWithMonitor(point, sim);
      if (!reader.ok || !monitor.ok) {
        std::printf("| %u | %s | not measured: %s |\n", baud, Rate(point).c_str(),
                    (!monitor.ok ? monitor.error : reader.error).c_str());
        measured = false;
        continue;
      }
      // Bytes the line refused were not read in time: a loss as much as a frame not shown.
      const std::string dropped =
          monitor.dropped_bytes == 0 ? ""
                                     : " (" + std::to_string(monitor.dropped_bytes) + " B dropped)";
      std::printf(
          "| %u | %s | %ld%s | %ld of %ld | %ld | %.1f %% | %ld (%ld) | %d | %.1f / %.1f / %.1f "
          "| %.1f | %.1f |\n",
          baud, Rate(point).c_str(), monitor.sent, dropped.c_str(), reader.received, reader.sent,
          monitor.received, LostPercent(monitor), monitor.errors, monitor.err4, monitor.cycles,
          monitor.cycle_mean_ms, monitor.steady_max_ms, monitor.cycle_max_ms,
          monitor.period_mean_ms, monitor.cpu_us_per_frame);
      std::fflush(stdout);
      target = target && monitor.received == monitor.sent && monitor.errors == 0 &&
               monitor.dropped_bytes == 0;
    }
  }
  std::printf("\nEvery frame shown and no invented error at every point: %s\n",
              target ? "yes" : "no");
  return measured ? 0 : 1;
}
