// The HTTP side of the event feed: every record for each reader of /events, and the latest
// readings of each sensor for the live page's charts.
//
// Each reader has a queue of its own, bounded: a reader that lets it fill up (it stopped
// reading, or reads slower than the monitor writes) is dropped, and its connection ends; the
// others and the feed go on. So memory stays bounded whatever the readers do: kMaxClients
// queues of kQueueLimit bytes, and the fixed history.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ledger/ledger_figures.h"
#include "outputs/event_record.h"

class EventHub : public RecordListener {
 public:
  static constexpr int kMaxClients = 8;
  static constexpr std::size_t kQueueLimit = std::size_t{256} << 10;
  static constexpr int kHistoryPoints = 600;         // per sensor, the latest of the run
  static constexpr std::size_t kHistoryErrors = 50;  // the run's latest error records

  struct Client {
    std::string queue;  // whole lines, each ended by a line end
    bool dropped = false;
    std::condition_variable wake;
  };

  EventHub();

  // A new reader; nullptr when kMaxClients read already or the hub is closed.
  std::shared_ptr<Client> Join();
  void Leave(const std::shared_ptr<Client>& client);
  // Waits up to `wait` for records for the client. True with the lines that came (none when
  // the wait ran out); false once the client was dropped, or the hub closed and the client has
  // had every line that came before.
  bool Next(Client& client, std::string* lines, std::chrono::milliseconds wait);
  // Every reader's Next returns false from now on, and no one joins.
  void Close();

  // The feed's thread.
  void OnRecord(const EventRecord& record) override;

  // The latest readings of each sensor of the run, for charts: {"sensors": {"3": [[tick_ms,
  // temperature_C, humidity_RH], ...]}} with null for a value the sensor did not send; and the
  // run's latest error records, oldest first: "errors": [{"event":"error",...}, ...].
  std::string HistoryJson() const;

  int clients() const;
  std::uint64_t dropped_clients() const;

 private:
  struct Point {
    std::uint32_t tick_ms;
    bool has_temperature;
    int temperature_sixteenths;
    bool has_humidity;
    int humidity_tenths;
  };
  struct Track {
    int start = 0;
    int count = 0;
  };

  mutable std::mutex mutex_;
  bool closed_ = false;
  std::vector<std::shared_ptr<Client>> clients_;
  std::uint64_t dropped_clients_ = 0;
  std::vector<Point> points_;  // kLedgerSensorRows x kHistoryPoints, made once
  Track tracks_[kLedgerSensorRows];
  std::deque<std::string> errors_;
};
