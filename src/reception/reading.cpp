#include "reception/reading.h"

#include "app/monitor_state.h"
#include "app/platform.h"
#include "app/texts.h"
#include "display/box_lines.h"
#include "display/counters.h"
#include "display/number_format.h"
#include "display/panel_layout.h"
#include "display/text_line.h"
#include "journal/run_journal.h"
#include "reception/reading_sink.h"

namespace {

// Field offsets of a frame.
constexpr int kSensorId = 1;
constexpr int kExtraByte = 2;
constexpr int kTempLo = 3;
constexpr int kTempHi = 4;
constexpr int kHumLo = 5;
constexpr int kHumHi = 6;
constexpr int kCheckByte = 7;

constexpr std::uint8_t kTempMagnitudeHigh = 0x07;  // magnitude bits 8 to 10
constexpr std::uint8_t kTempSign = 0x08;           // set: below zero
constexpr std::uint8_t kNoValue = 0xFF;            // both bytes of a value: not measured

bool HasTemperature(const std::uint8_t* f) {
  return !(f[kTempLo] == kNoValue && f[kTempHi] == kNoValue);
}

bool HasHumidity(const std::uint8_t* f) {
  return !(f[kHumLo] == kNoValue && f[kHumHi] == kNoValue);
}

// Sign and magnitude; bits 4 to 7 of the high byte play no part.
int TemperatureSixteenths(const std::uint8_t* f) {
  const int magnitude = (f[kTempHi] & kTempMagnitudeHigh) * 256 + f[kTempLo];
  return (f[kTempHi] & kTempSign) != 0 ? -magnitude : magnitude;
}

int HumidityTenths(const std::uint8_t* f) {
  return f[kHumHi] * 256 + f[kHumLo];
}

void AppendTemperaturePiece(TextLine& line, const std::uint8_t* f) {
  if (!HasTemperature(f)) {
    line.Append(text::kNoTemperature);
    return;
  }
  AppendTemperature(line, TemperatureSixteenths(f));
  line.Append(text::kDegreeSign);
  line.Append(text::kTemperatureEnd);
}

void AppendHumidityPiece(TextLine& line, const std::uint8_t* f) {
  if (!HasHumidity(f)) {
    line.Append(text::kNoHumidity);
    return;
  }
  AppendHumidity(line, static_cast<std::uint32_t>(HumidityTenths(f)));
  line.Append(text::kHumidityUnit);
}

// Tells a listening front end the reading's values. A timed reading (up to 9 sensors) carries
// its interval; with 10 or more sensors the line carries no time, so the clock is read here for
// the listener alone, leaving the monitor's own state as it would be without one.
void TellReading(const std::uint8_t* f, int number, bool timed, std::uint32_t interval_ms) {
  ReadingSink* sink = g_platform.readings;
  if (sink == nullptr) return;
  ReadingEvent reading;
  reading.sensor_id = f[kSensorId];
  reading.number = number;
  if (timed) {
    reading.tick = g_state.sensor_last_tick[reading.sensor_id];
    reading.time = g_state.local_time;
  } else {
    reading.tick = g_platform.clock->TickCount();
    reading.time = g_platform.clock->Now();
  }
  reading.has_temperature = HasTemperature(f);
  reading.temperature_sixteenths = reading.has_temperature ? TemperatureSixteenths(f) : 0;
  reading.has_humidity = HasHumidity(f);
  reading.humidity_tenths = reading.has_humidity ? HumidityTenths(f) : 0;
  reading.has_interval = timed;
  reading.interval_ms = interval_ms;
  reading.frame = f;
  sink->OnReading(reading);
}

}  // namespace

int ShowReading(int k) {
  if (k < 0 || k >= kFrameTableSize) return -1;
  const std::uint8_t* f = g_state.frame_table[k];
  const int id = f[kSensorId];
  if (id >= kSensorIdLimit) {
    LogError(kErrSensorId, k);
    return -1;
  }
  // Entries of panel_boxes at or beyond panel_count may hold the handle of a panel that was
  // destroyed, which the window system may since have given to another window: such a reading
  // is counted and timed but shown nowhere.
  const bool has_panel = id < g_state.panel_count;
  const WindowHandle panel = g_state.panel_boxes[id];

  const int number = g_state.sensor_frame_count[id];
  CountUp(g_state.sensor_frame_count[id]);

  TextLine line;
  const int sensors = g_state.sensor_count;
  if (sensors <= kMaxSensorsWithGrowingPanels) {
    g_state.sensor_last_tick[id] = g_platform.clock->TickCount();
    g_state.local_time = g_platform.clock->Now();
    const LocalTime& t = g_state.local_time;
    line.AppendFormat(text::kTimedPrefixFormat, number, t.hour, t.minute, t.second, f[kExtraByte]);
  } else {
    line.AppendFormat(text::kShortPrefixFormat, number);
  }
  AppendTemperaturePiece(line, f);
  AppendHumidityPiece(line, f);

  if (sensors > kMaxSensorsWithGrowingPanels) {
    // One line per panel: the latest reading, with a flash of the caption to mark it.
    if (has_panel) {
      g_platform.window->Flash(panel);
      ReplaceLine(panel, line.c_str());
      JournalReplace(id, line.c_str());
    }
    TellReading(f, number, false, 0);
    return 0;
  }
  if (sensors <= kMaxSensorsWithRawBytes) {
    line.AppendFormat(text::kRawBytesFormat, f[kTempLo], f[kTempHi], f[kHumLo], f[kHumHi],
                      f[kCheckByte]);
  }
  // Unsigned difference: right across a wrap of the millisecond tick counter.
  const std::uint32_t elapsed = g_state.sensor_last_tick[id] - g_state.sensor_prev_tick[id];
  line.Append(text::kIntervalLead);
  AppendSeconds(line, elapsed);
  g_state.sensor_prev_tick[id] = g_state.sensor_last_tick[id];

  if (has_panel) {
    g_platform.window->AddString(panel, line.c_str());
    JournalLine(id, line.c_str());
    ScrollToNewest(panel, g_state.panel_visible_lines);
  }
  TellReading(f, number, true, elapsed);
  return 0;
}
