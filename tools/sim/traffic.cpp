#include "sim/traffic.h"

#include <algorithm>
#include <string>
#include <utility>

#include "app/monitor_state.h"

namespace {

constexpr std::uint8_t kStartMark = 0xCC;
constexpr std::uint8_t kEndMark = 0xDD;
constexpr std::uint16_t kNoValue = 0xFFFF;
constexpr std::uint8_t kTempSign = 0x08;  // in the high byte
constexpr int kTempMagnitudeMax = 2047;   // sixteenths of a degree
constexpr int kHumMax = 1000;             // tenths of a percent
constexpr int kPrefixLength = 5;

std::uint16_t TempField(int sixteenths) {
  const int magnitude = std::min(sixteenths < 0 ? -sixteenths : sixteenths, kTempMagnitudeMax);
  // Sign and magnitude, not two's complement.
  int field = magnitude;
  if (sixteenths < 0) field |= kTempSign << 8;
  return static_cast<std::uint16_t>(field);
}

// One step of a slow random walk that is pulled back towards its base.
int Drift(SimRandom* random, int value, int base, int step, int lo, int hi) {
  value += static_cast<int>(random->Between(-step, step)) + (base - value) / 16;
  return std::clamp(value, lo, hi);
}

// How many frames begin in bytes [begin, end) of a transmission.
std::uint8_t FramesBeginningIn(const std::vector<Item>& items, std::size_t begin, std::size_t end) {
  std::uint8_t frames = 0;
  for (const Item& item : items) {
    if (item.kind == ItemKind::kFrame && item.begin >= begin && item.begin < end) ++frames;
  }
  return frames;
}

// Moves the items to their places among the prefixes of the parts that begin at cuts: every
// prefix before a byte shifts it.
void ShiftPastPrefixes(const std::vector<std::size_t>& cuts, std::size_t prefix_length,
                       std::vector<Item>* items) {
  for (Item& item : *items) {
    if (item.kind == ItemKind::kPrefix) continue;
    std::size_t before_begin = 0;
    std::size_t before_end = 0;
    for (const std::size_t cut : cuts) {
      if (cut <= item.begin) before_begin += prefix_length;
      if (cut < item.end) before_end += prefix_length;
    }
    item.begin += before_begin;
    item.end += before_end;
  }
}

}  // namespace

std::uint64_t SimRandom::Next() {
  // splitmix64
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

std::int64_t SimRandom::Between(std::int64_t lo, std::int64_t hi) {
  const std::uint64_t span = static_cast<std::uint64_t>(hi - lo) + 1;
  return lo + static_cast<std::int64_t>(Next() % span);
}

bool SimRandom::Chance(double rate) {
  if (rate <= 0) return false;
  const double unit = static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0);
  return unit < rate;
}

void BuildFrame(std::uint8_t id, std::uint8_t extra, std::uint16_t temp_field,
                std::uint16_t hum_field, std::uint8_t out[9]) {
  out[0] = kStartMark;
  out[1] = id;
  out[2] = extra;
  out[3] = static_cast<std::uint8_t>(temp_field & 0xFF);
  out[4] = static_cast<std::uint8_t>(temp_field >> 8);
  out[5] = static_cast<std::uint8_t>(hum_field & 0xFF);
  out[6] = static_cast<std::uint8_t>(hum_field >> 8);
  unsigned sum = 0;
  for (int i = 1; i <= 6; ++i) sum += out[i];
  out[7] = static_cast<std::uint8_t>((256 - sum % 256) % 256);
  out[8] = kEndMark;
}

Traffic::Traffic(const SimOptions& options) : options_(options), random_(options.seed) {
  const int count = static_cast<int>(options_.ids.size());
  const int span = (options_.temp_max_c - options_.temp_min_c) * 16;
  for (int i = 0; i < count; ++i) {
    Sensor sensor;
    sensor.id = options_.ids[static_cast<std::size_t>(i)];
    const auto own = options_.sensor_interval_ms.find(sensor.id);
    sensor.interval_ms =
        own != options_.sensor_interval_ms.end() ? own->second : options_.interval_ms;
    sensor.next_due_ms = static_cast<std::uint64_t>(random_.Between(0, sensor.interval_ms - 1));
    // Bases spread evenly over the range, so that a range across zero gives frost and warmth.
    sensor.base_temp = options_.temp_min_c * 16 + span * (2 * i + 1) / (2 * count) +
                       static_cast<int>(random_.Between(-16, 16));
    sensor.base_temp = std::clamp(sensor.base_temp, -kTempMagnitudeMax, kTempMagnitudeMax);
    sensor.temp = sensor.base_temp;
    sensor.base_hum = static_cast<int>(random_.Between(250, 850));
    sensor.hum = sensor.base_hum;
    sensors_.push_back(sensor);
  }
}

void Traffic::AppendItem(Transmission* t, Item item, const std::uint8_t* bytes, std::size_t count) {
  item.begin = t->bytes.size();
  t->bytes.insert(t->bytes.end(), bytes, bytes + count);
  item.end = t->bytes.size();
  t->items.push_back(item);
}

void Traffic::AppendFrame(Transmission* t, Sensor* sensor) {
  if (random_.Chance(options_.lose_rate)) {
    // Lost on the air: nothing reaches the receiver, but the sensor counted the reading.
    ++sensor->sequence;
    Item lost;
    lost.kind = ItemKind::kLost;
    lost.sensor_id = sensor->id;
    lost.begin = lost.end = t->bytes.size();
    t->items.push_back(lost);
    return;
  }
  sensor->temp =
      Drift(&random_, sensor->temp, sensor->base_temp, 3, -kTempMagnitudeMax, kTempMagnitudeMax);
  sensor->hum = Drift(&random_, sensor->hum, sensor->base_hum, 4, 0, kHumMax);
  Item item;
  item.sensor_id = sensor->id;
  if (random_.Chance(options_.missing_rate)) {
    const std::int64_t which = random_.Between(0, 2);
    item.missing_temp = which != 1;
    item.missing_hum = which != 0;
  }
  if (random_.Chance(options_.bad_check_rate)) item.frame = FrameKind::kBadCheck;
  std::uint8_t frame[kFrameSize];
  BuildFrame(static_cast<std::uint8_t>(sensor->id), sensor->sequence++,
             item.missing_temp ? kNoValue : TempField(sensor->temp),
             item.missing_hum ? kNoValue : static_cast<std::uint16_t>(sensor->hum), frame);
  if (item.frame == FrameKind::kBadCheck) {
    frame[7] = static_cast<std::uint8_t>(frame[7] + random_.Between(1, 255));
  }
  AppendItem(t, item, frame, kFrameSize);
  ++frames_;
}

void Traffic::AppendHighIdFrame(Transmission* t) {
  // A sensor of some other network within reach of the receiver.
  Item item;
  item.frame = FrameKind::kHighId;
  item.sensor_id = static_cast<int>(random_.Between(kSensorIdLimit, 255));
  std::uint8_t frame[kFrameSize];
  BuildFrame(static_cast<std::uint8_t>(item.sensor_id), 0,
             TempField(static_cast<int>(random_.Between(-320, 640))),
             static_cast<std::uint16_t>(random_.Between(0, kHumMax)), frame);
  AppendItem(t, item, frame, kFrameSize);
  ++frames_;
}

std::vector<std::size_t> Traffic::ChooseCuts(Transmission* t) {
  std::vector<std::size_t> cuts = {0};
  if (!random_.Chance(options_.split_rate)) return cuts;
  // Cut inside the first frame, so that a reader sees a frame in two pieces.
  for (const Item& item : t->items) {
    if (item.kind == ItemKind::kFrame) {
      cuts.push_back(item.begin + static_cast<std::size_t>(random_.Between(1, 8)));
      t->split = true;
      break;
    }
  }
  return cuts;
}

void Traffic::SplitAndPrefix(Transmission* t) {
  const std::vector<std::size_t> cuts = ChooseCuts(t);
  const std::size_t prefix_length = options_.echo ? kPrefixLength : 0;
  std::vector<std::uint8_t> bytes;
  for (std::size_t p = 0; p < cuts.size(); ++p) {
    const std::size_t begin = cuts[p];
    const std::size_t end = p + 1 < cuts.size() ? cuts[p + 1] : t->bytes.size();
    Part part;
    part.pause_before_ms = p == 0 ? 0 : options_.split_pause_ms;
    part.begin = bytes.size();
    if (options_.echo) {
      const std::uint8_t prefix[kPrefixLength] = {
          0x55, 0xAA, FramesBeginningIn(t->items, begin, end),
          static_cast<std::uint8_t>((parts_written_ + p) & 0x7F), 0};
      Item item;
      item.kind = ItemKind::kPrefix;
      item.begin = bytes.size();
      item.end = item.begin + kPrefixLength;
      bytes.insert(bytes.end(), prefix, prefix + kPrefixLength);
      t->items.push_back(item);
    }
    bytes.insert(bytes.end(), t->bytes.begin() + static_cast<std::ptrdiff_t>(begin),
                 t->bytes.begin() + static_cast<std::ptrdiff_t>(end));
    part.end = bytes.size();
    t->parts.push_back(part);
  }
  ShiftPastPrefixes(cuts, prefix_length, &t->items);
  parts_written_ += static_cast<std::uint32_t>(cuts.size());
  t->bytes = std::move(bytes);
}

bool Traffic::Next(Transmission* out) {
  if (sensors_.empty()) return false;
  if (options_.max_frames != 0 && frames_ >= options_.max_frames) return false;
  auto earliest = std::min_element(
      sensors_.begin(), sensors_.end(),
      [](const Sensor& a, const Sensor& b) { return a.next_due_ms < b.next_due_ms; });
  Sensor& sensor = *earliest;
  if (options_.max_ms != 0 && sensor.next_due_ms >= options_.max_ms) return false;

  Transmission t;
  t.due_ms = sensor.next_due_ms;
  const std::int64_t jitter = options_.jitter_ms;
  const std::int64_t next =
      static_cast<std::int64_t>(sensor.interval_ms) + random_.Between(-jitter, jitter);
  sensor.next_due_ms += static_cast<std::uint64_t>(std::max<std::int64_t>(next, 1));

  std::uint64_t budget = options_.max_frames == 0 ? UINT64_MAX : options_.max_frames - frames_;
  if (random_.Chance(options_.stray_rate)) {
    t.stray = true;
    std::uint8_t stray[4];
    const std::size_t count = static_cast<std::size_t>(random_.Between(1, 4));
    for (std::size_t i = 0; i < count; ++i) {
      // Never a start mark, so that a stray byte can never begin a frame of its own.
      std::uint8_t byte = static_cast<std::uint8_t>(random_.Between(0, 254));
      if (byte >= kStartMark) ++byte;
      stray[i] = byte;
    }
    Item item;
    item.kind = ItemKind::kStray;
    AppendItem(&t, item, stray, count);
  }
  if (budget > 1 && random_.Chance(options_.high_id_rate)) {
    AppendHighIdFrame(&t);
    --budget;
  }
  std::uint64_t readings = 1;
  if (random_.Chance(options_.burst_rate)) {
    readings = std::min<std::uint64_t>(static_cast<std::uint64_t>(random_.Between(2, 5)), budget);
  }
  t.burst = readings > 1;
  for (std::uint64_t i = 0; i < readings; ++i) AppendFrame(&t, &sensor);
  // A transmission whose every reading was lost sends nothing, not even an echo prefix.
  if (!t.bytes.empty()) SplitAndPrefix(&t);
  *out = std::move(t);
  return true;
}

Summary::Summary(const std::vector<int>& sensor_ids)
    : ids(sensor_ids), sensors(sensor_ids.size()) {}

Summary::PerSensor* Summary::SensorOf(int id) {
  const auto it = std::find(ids.begin(), ids.end(), id);
  return it == ids.end() ? nullptr : &sensors[static_cast<std::size_t>(it - ids.begin())];
}

void Summary::CountFrame(const Item& item, bool whole) {
  PerSensor* sensor = item.frame == FrameKind::kHighId ? nullptr : SensorOf(item.sensor_id);
  if (!whole) {
    // A frame cut short reaches no reader as a reading: its count shows it missing.
    if (sensor != nullptr && sensor->heard) ++sensor->unseen;
    return;
  }
  ++frames;
  missing_temp += item.missing_temp ? 1 : 0;
  missing_hum += item.missing_hum ? 1 : 0;
  if (item.frame == FrameKind::kHighId) {
    ++high_id;
    return;
  }
  if (item.frame == FrameKind::kBadCheck) {
    ++bad_check;
    if (sensor == nullptr) return;
    ++sensor->bad_check;
    if (sensor->heard) ++sensor->unseen;
    return;
  }
  if (sensor == nullptr) return;
  ++sensor->frames;
  sensor->missing_temp += item.missing_temp ? 1 : 0;
  sensor->missing_hum += item.missing_hum ? 1 : 0;
  sensor->sequence_lost += sensor->unseen;
  sensor->unseen = 0;
  sensor->heard = true;
}

void Summary::CountItem(const Item& item, std::size_t taken, bool* stray_counted) {
  switch (item.kind) {
    case ItemKind::kPrefix:
      prefix_bytes += taken;
      break;
    case ItemKind::kStray:
      stray_bytes += taken;
      if (taken > 0 && !*stray_counted) ++stray_runs;
      *stray_counted = true;
      break;
    case ItemKind::kFrame:
      CountFrame(item, taken == item.end - item.begin);
      break;
    case ItemKind::kLost:
      if (PerSensor* sensor = SensorOf(item.sensor_id)) {
        ++sensor->lost;
        if (sensor->heard) ++sensor->unseen;
      }
      break;
  }
}

void Summary::Count(const Transmission& t, const std::vector<std::uint8_t>& fate) {
  bool stray_counted = false;
  for (const Item& item : t.items) {
    std::size_t taken = 0;
    for (std::size_t i = item.begin; i < item.end; ++i) taken += fate[i] == kByteSent ? 1 : 0;
    CountItem(item, taken, &stray_counted);
  }
  split += t.split ? 1 : 0;
  bursts += t.burst ? 1 : 0;
  for (std::uint8_t f : fate) {
    bytes += f == kByteSent ? 1 : 0;
    dropped_bytes += f == kByteDropped ? 1 : 0;
  }
}

std::string Summary::Text() const {
  std::string text = "summary 1\n";
  auto line = [&text](const std::string& key, std::uint64_t value) {
    text += key + " " + std::to_string(value) + "\n";
  };
  line("frames", frames);
  for (std::size_t s = 0; s < ids.size(); ++s) {
    line("sensor " + std::to_string(ids[s]), sensors[s].frames);
  }
  line("high_id", high_id);
  line("bad_check", bad_check);
  line("stray_bytes", stray_bytes);
  line("stray_runs", stray_runs);
  line("split", split);
  line("bursts", bursts);
  line("missing_temp", missing_temp);
  line("missing_hum", missing_hum);
  line("prefix_bytes", prefix_bytes);
  line("probes", probes);
  line("probe_replies", probe_replies);
  line("bytes", bytes);
  line("dropped_bytes", dropped_bytes);
  const std::pair<const char*, std::uint64_t PerSensor::*> per_sensor[] = {
      {"sensor_lost ", &PerSensor::lost},
      {"sensor_bad_check ", &PerSensor::bad_check},
      {"sensor_missing_temp ", &PerSensor::missing_temp},
      {"sensor_missing_hum ", &PerSensor::missing_hum},
      {"sensor_sequence_lost ", &PerSensor::sequence_lost},
  };
  for (const auto& [key, field] : per_sensor) {
    for (std::size_t s = 0; s < ids.size(); ++s) {
      line(key + std::to_string(ids[s]), sensors[s].*field);
    }
  }
  return text + "end\n";
}
