// The events that the monitor hands on to the ledger and the outputs, made from the frames they
// concern (which must outlive them).
#pragma once

#include <optional>

#include "display/counters.h"
#include "reception/reading_sink.h"
#include "support/frames.h"

// A reading of the sensor that frame names; a value left out was not measured.
inline ReadingEvent ReadingOf(const Bytes& frame, std::uint32_t tick, std::optional<int> sixteenths,
                              std::optional<int> tenths, LocalTime time = {}) {
  ReadingEvent r;
  r.sensor_id = frame[1];
  r.tick = tick;
  r.time = time;
  r.has_temperature = sixteenths.has_value();
  r.temperature_sixteenths = sixteenths.value_or(0);
  r.has_humidity = tenths.has_value();
  r.humidity_tenths = tenths.value_or(0);
  r.frame = frame.data();
  return r;
}

// The error event of the bytes concerned: a whole frame (ERR2, ERR5) or stray bytes (ERR1).
inline ErrorEvent ErrorOf(int code, const Bytes& bytes, std::uint32_t tick, LocalTime time = {}) {
  ErrorEvent e;
  e.code = code;
  e.arg = code == kErrStrayBytes ? static_cast<int>(bytes.size()) : 0;
  e.tick = tick;
  e.time = time;
  e.bytes = bytes.data();
  e.byte_count = static_cast<int>(bytes.size());
  return e;
}
