// What the simulated receiver sends, decided ahead of time from the options and the seed alone:
// every transmission with its bytes, the parts it is written in, and what each byte range is.
// Wall-clock timing (pacing, the wait for a probe) never changes these choices.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/sim_options.h"

// A small, fast generator whose sequence is the same on every platform and library.
class SimRandom {
 public:
  explicit SimRandom(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next();
  // Evenly from lo to hi, both included.
  std::int64_t Between(std::int64_t lo, std::int64_t hi);
  bool Chance(double rate);

 private:
  std::uint64_t state_;
};

// kLost: a reading that its sensor lost on the air; it holds no bytes.
enum class ItemKind { kPrefix, kStray, kFrame, kLost };
enum class FrameKind { kGood, kBadCheck, kHighId };

// A run of bytes of a transmission; offsets into Transmission::bytes.
struct Item {
  ItemKind kind = ItemKind::kFrame;
  FrameKind frame = FrameKind::kGood;
  int sensor_id = 0;
  bool missing_temp = false;
  bool missing_hum = false;
  std::size_t begin = 0;
  std::size_t end = 0;
};

// A piece of a transmission that is written on its own, after a pause.
struct Part {
  std::uint32_t pause_before_ms = 0;
  std::size_t begin = 0;
  std::size_t end = 0;
};

struct Transmission {
  std::uint64_t due_ms = 0;  // from the start of the schedule
  bool split = false;
  bool burst = false;
  bool stray = false;
  std::vector<std::uint8_t> bytes;
  std::vector<Part> parts;
  std::vector<Item> items;
};

class Traffic {
 public:
  explicit Traffic(const SimOptions& options);

  // The next transmission in time order; false when a stop condition ends the schedule.
  bool Next(Transmission* out);

 private:
  struct Sensor {
    int id = 0;
    std::uint32_t interval_ms = 0;
    std::uint64_t next_due_ms = 0;
    int base_temp = 0;  // sixteenths of a degree
    int temp = 0;
    int base_hum = 0;  // tenths of a percent
    int hum = 0;
    std::uint8_t sequence = 0;
  };

  void AppendFrame(Transmission* t, Sensor* sensor);
  void AppendHighIdFrame(Transmission* t);
  void AppendItem(Transmission* t, Item item, const std::uint8_t* bytes, std::size_t count);
  // Where the transmission's parts begin: at 0, and inside its first frame when it is split.
  std::vector<std::size_t> ChooseCuts(Transmission* t);
  void SplitAndPrefix(Transmission* t);

  const SimOptions options_;
  SimRandom random_;
  std::vector<Sensor> sensors_;
  std::uint64_t frames_ = 0;
  std::uint32_t parts_written_ = 0;
};

// What became of a byte of a transmission.
constexpr std::uint8_t kByteUnsent = 0;   // never tried (the run was interrupted)
constexpr std::uint8_t kByteSent = 1;     // the line took it
constexpr std::uint8_t kByteDropped = 2;  // the line was full

// The figures of the summary.
struct Summary {
  // Per configured sensor, parallel to ids.
  struct PerSensor {
    std::uint64_t frames = 0;  // good check byte, its own id
    std::uint64_t lost = 0;    // lost on the air
    std::uint64_t bad_check = 0;
    std::uint64_t missing_temp = 0;  // among its frames with a good check byte
    std::uint64_t missing_hum = 0;
    // What a reader of its count finds missing between its first and last good frame.
    std::uint64_t sequence_lost = 0;
    // Readings lost or damaged since its latest good frame, not yet shown by a later one.
    std::uint64_t unseen = 0;
    bool heard = false;  // a good frame was counted
  };
  std::vector<int> ids;
  std::vector<PerSensor> sensors;
  std::uint64_t frames = 0;
  std::uint64_t high_id = 0;
  std::uint64_t bad_check = 0;
  std::uint64_t stray_bytes = 0;
  std::uint64_t stray_runs = 0;
  std::uint64_t split = 0;
  std::uint64_t bursts = 0;
  std::uint64_t missing_temp = 0;
  std::uint64_t missing_hum = 0;
  std::uint64_t prefix_bytes = 0;
  std::uint64_t probes = 0;
  std::uint64_t probe_replies = 0;
  std::uint64_t bytes = 0;
  std::uint64_t dropped_bytes = 0;

  explicit Summary(const std::vector<int>& sensor_ids);

  // Counts a transmission by what became of each of its bytes (one ByteFate per byte); an item
  // counts only when all of its bytes were sent.
  void Count(const Transmission& t, const std::vector<std::uint8_t>& fate);

  // The "KEY VALUE" lines, ending with "end".
  std::string Text() const;

 private:
  PerSensor* SensorOf(int id);
  // An item of which taken bytes were sent; the first stray item sent counts a run.
  void CountItem(const Item& item, std::size_t taken, bool* stray_counted);
  void CountFrame(const Item& item, bool whole);
};

// Builds a frame: the check byte makes bytes 1 to 7 sum to 0 modulo 256.
void BuildFrame(std::uint8_t id, std::uint8_t extra, std::uint16_t temp_field,
                std::uint16_t hum_field, std::uint8_t out[9]);
