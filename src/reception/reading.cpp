#include "reception/reading.h"

#include "app/monitor_state.h"
#include "app/platform.h"
#include "app/texts.h"
#include "display/box_lines.h"
#include "display/counters.h"
#include "display/number_format.h"
#include "display/panel_layout.h"
#include "display/text_line.h"

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

// Line shapes by the number of sensors watched: with few sensors the panels are wide enough
// for the raw bytes; growing panels show time and interval; one-line panels only the reading.
constexpr int kRawBytesShapeMax = 4;

void AppendTemperaturePiece(TextLine& line, const std::uint8_t* f) {
  if (f[kTempLo] == kNoValue && f[kTempHi] == kNoValue) {
    line.Append(text::kNoTemperature);
    return;
  }
  // Sign and magnitude; bits 4 to 7 of the high byte play no part.
  const int magnitude = (f[kTempHi] & kTempMagnitudeHigh) * 256 + f[kTempLo];
  AppendTemperature(line, (f[kTempHi] & kTempSign) != 0 ? -magnitude : magnitude);
  line.Append(text::kDegreeSign);
  line.Append(text::kTemperatureEnd);
}

void AppendHumidityPiece(TextLine& line, const std::uint8_t* f) {
  if (f[kHumLo] == kNoValue && f[kHumHi] == kNoValue) {
    line.Append(text::kNoHumidity);
    return;
  }
  AppendHumidity(line, static_cast<std::uint32_t>(f[kHumHi] * 256 + f[kHumLo]));
  line.Append(text::kHumidityUnit);
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
  g_state.sensor_frame_count[id] = number + 1;

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
    }
    return 0;
  }
  if (sensors <= kRawBytesShapeMax) {
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
    ScrollToNewest(panel, g_state.panel_visible_lines);
  }
  return 0;
}
