// One record of the monitor's event stream as its outputs take it: the JSON line
// (json_events.h), encoded once for every output, and the values that the outputs route and
// publish it by, as the monitor had them (never read back from the line).
#pragma once

#include <cstdint>
#include <string>

struct EventRecord {
  enum class Kind {
    kReading,
    kError,
    kRunStarted,
    kRunStopped,
    kExport,
    kPortLost,
    kPortBack,
    kMonitorStall,
    kLedger,
    kRecordsDropped,
  };
  Kind kind = Kind::kError;
  std::string text;  // the JSON record, one line without its end
  std::uint32_t tick_ms = 0;
  // A reading's sensor and values (sixteenths of a degree, tenths of a percent).
  int sensor = -1;
  bool has_temperature = false;
  int temperature_sixteenths = 0;
  bool has_humidity = false;
  int humidity_tenths = 0;
};

// Whatever takes the records: on the monitor's thread it must not wait; on the network feed's
// thread it may, but not for long, since the next listener waits for it.
class RecordListener {
 public:
  virtual ~RecordListener() = default;
  virtual void OnRecord(const EventRecord& record) = 0;
};
