// The ledger's figures as the monitor's thread last published them, for the threads that serve
// them (the HTTP server, the MQTT publisher). The monitor's thread never waits here: it
// publishes only when no reader holds the board, and tries again a little later otherwise.
#pragma once

#include <cstdint>
#include <mutex>

#include "app/local_time.h"
#include "ledger/ledger_figures.h"

struct NetworkSnapshot {
  std::uint64_t version = 0;  // 0: nothing published yet
  LedgerSnapshot ledger;
  LocalTime time = {};             // when it was taken
  std::uint32_t taken_tick = 0;    // the monitor's tick then
  std::int64_t epoch_ms = 0;       // the wall clock then (milliseconds since 1970, UTC)
  bool port_open = false;          // the open command opened the port (and no close since)
  bool port_lost = false;          // it stopped answering and has not answered again since
  std::uint64_t feed_dropped = 0;  // records the network feed dropped for want of room
};

// The wall clock at a tick of the snapshot's (at or before the moment it was taken).
inline std::int64_t EpochMsAt(const NetworkSnapshot& s, std::uint32_t tick) {
  return s.epoch_ms - static_cast<std::int64_t>(static_cast<std::uint32_t>(s.taken_tick - tick));
}

class SnapshotBoard {
 public:
  // The monitor's thread: false, and nothing changed, when a reader holds the board.
  bool TryPublish(const NetworkSnapshot& snapshot) {
    std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
    if (!lock.owns_lock()) return false;
    const std::uint64_t version = current_.version + 1;
    current_ = snapshot;
    current_.version = version;
    return true;
  }
  // A copy of the latest; false before the first was published.
  bool Read(NetworkSnapshot* out) const {
    std::lock_guard<std::mutex> lock(mutex_);
    *out = current_;
    return current_.version != 0;
  }
  // One row of the latest.
  bool ReadRow(int row, SensorFigures* out) const {
    if (row < 0 || row >= kLedgerRows) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    *out = current_.ledger.rows[row];
    return current_.version != 0;
  }

 private:
  mutable std::mutex mutex_;
  NetworkSnapshot current_;
};
