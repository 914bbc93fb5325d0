// One record of the monitor's event stream (json_events.h) as the network outputs take it: the
// JSON line itself and, read back from it, what they need to route it.
#pragma once

#include <cstdint>
#include <limits>
#include <string>

struct FeedRecord {
  static constexpr int kNoValue = std::numeric_limits<int>::min();

  std::string text;   // the JSON record, one line without its end
  std::string event;  // its "event": "reading", "error", "run_started", "ledger", ...
  std::uint32_t tick_ms = 0;
  // A reading's sensor and values: exact in sixteenths of a degree and tenths of a percent, and
  // as the record writes them ("23.0625", "45.6"); kNoValue and "" when the sensor sent none.
  int sensor = -1;
  int temperature_sixteenths = kNoValue;
  int humidity_tenths = kNoValue;
  std::string temperature_text;
  std::string humidity_text;
};

// Reads a record's line; false for a line that is no JSON object with an "event".
bool ParseFeedRecord(const std::string& line, FeedRecord* out);

// Whatever takes the records (on the feed's own thread: it may wait, but not for long, since
// the next listener waits for it).
class FeedListener {
 public:
  virtual ~FeedListener() = default;
  virtual void OnRecord(const FeedRecord& record) = 0;
};
