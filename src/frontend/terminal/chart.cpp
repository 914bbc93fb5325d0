#include "frontend/terminal/chart.h"

#include <curses.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/monitor_state.h"
#include "app/texts.h"
#include "display/number_format.h"
#include "frontend/terminal/canvas.h"
#include "frontend/terminal/cell_text.h"

namespace {

// Columns of the scale at the left of the plots; the plots begin after it and its axis line.
constexpr int kScaleWidth = 7;
constexpr int kPlotLeft = kScaleWidth + 1;
// A second digit typed within this time makes a two-digit sensor number.
constexpr std::uint32_t kTwoDigitMs = 1500;

// One series of a sensor: its values as whole units on the scale.
struct Series {
  const char* name;
  const char* unit;
  int unit_size;  // sixteenths or tenths in one degree or one percent
  bool (*present)(const Sample&);
  int (*value)(const Sample&);
  void (*format)(TextLine&, int);
  ColourPair colours;
};

void FormatTemperature(TextLine& line, int value) {
  AppendTemperature(line, value);
}
void FormatHumidity(TextLine& line, int value) {
  AppendHumidity(line, static_cast<std::uint32_t>(value));
}

const Series kTemperature = {"temperature",
                             text::kDegreeSign,
                             16,
                             [](const Sample& s) { return s.has_temperature; },
                             [](const Sample& s) { return static_cast<int>(s.temperature); },
                             FormatTemperature,
                             kTemperatureColours};
const Series kHumidity = {"humidity",
                          text::kHumidityUnit,
                          10,
                          [](const Sample& s) { return s.has_humidity; },
                          [](const Sample& s) { return static_cast<int>(s.humidity); },
                          FormatHumidity,
                          kHumidityColours};

std::string Formatted(const Series& series, int value) {
  TextLine line;
  series.format(line, value);
  return line.c_str();
}

// Whole units below (floor) and above (ceiling) a value.
int Floor(int value, int unit) {
  return (value >= 0 ? value : value - unit + 1) / unit * unit;
}
int Ceiling(int value, int unit) {
  return -Floor(-value, unit);
}

std::string Elapsed(std::uint32_t ms) {
  const std::uint32_t s = ms / 1000;
  char text[32];
  if (s >= 3600) {
    std::snprintf(text, sizeof text, "%u:%02u:%02u", s / 3600, s / 60 % 60, s % 60);
  } else {
    std::snprintf(text, sizeof text, "%u:%02u", s / 60, s % 60);
  }
  return text;
}

// A grid of Braille dots over a rectangle of cells.
class Dots {
 public:
  Dots(int columns, int rows)
      : columns_(columns), rows_(rows), bits_(static_cast<std::size_t>(columns * rows), 0) {}
  int width() const { return columns_ * 2; }
  int height() const { return rows_ * 4; }

  void Set(int x, int y) {
    if (x < 0 || y < 0 || x >= width() || y >= height()) return;
    static constexpr unsigned char kBit[2][4] = {{0x01, 0x02, 0x04, 0x40},
                                                 {0x08, 0x10, 0x20, 0x80}};
    bits_[static_cast<std::size_t>((y / 4) * columns_ + x / 2)] |= kBit[x % 2][y % 4];
  }
  void Line(int x0, int y0, int x1, int y1) {
    const int dx = std::abs(x1 - x0);
    const int dy = -std::abs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1;
    const int sy = y0 < y1 ? 1 : -1;
    for (int error = dx + dy;;) {
      Set(x0, y0);
      if (x0 == x1 && y0 == y1) return;
      const int twice = 2 * error;
      if (twice >= dy) {
        error += dy;
        x0 += sx;
      }
      if (twice <= dx) {
        error += dx;
        y0 += sy;
      }
    }
  }
  void Draw(int top, int left, attr_t attributes) const {
    for (int r = 0; r < rows_; ++r) {
      for (int c = 0; c < columns_; ++c) {
        const unsigned char bits = bits_[static_cast<std::size_t>(r * columns_ + c)];
        if (bits == 0) continue;
        const wchar_t cell[2] = {static_cast<wchar_t>(0x2800 + bits), 0};
        PutText(top + r, left + c, std::wstring(cell), 1, attributes);
      }
    }
  }

 private:
  int columns_;
  int rows_;
  std::vector<unsigned char> bits_;
};

// Draws one series of a sensor: its header line on row top, its plot on the rows below.
void DrawSeries(const ReadingHistory& history, int sensor, const Series& series, int top,
                int plot_rows, int columns, std::uint32_t t0, std::uint32_t t1) {
  const int count = history.Count(sensor);
  int lo = 0;
  int hi = 0;
  bool any = false;
  for (int i = 0; i < count; ++i) {
    const Sample& s = history.At(sensor, i);
    if (!series.present(s)) continue;
    const int v = series.value(s);
    lo = any ? std::min(lo, v) : v;
    hi = any ? std::max(hi, v) : v;
    any = true;
  }
  std::string header = std::string(series.name) + " " + series.unit;
  if (any) {
    const Sample& last = history.At(sensor, count - 1);
    header += "   min " + Formatted(series, lo) + "   max " + Formatted(series, hi) + "   last " +
              (series.present(last) ? Formatted(series, series.value(last)) : "----");
  } else {
    header += "   no values in this run";
  }
  const attr_t colours = PartAttributes(series.colours, A_NORMAL);
  PutText(top, 1, header, columns - 1, colours | A_BOLD);

  const int axis_lo = Floor(lo, series.unit_size);
  int axis_hi = Ceiling(hi, series.unit_size);
  if (axis_hi == axis_lo) axis_hi += series.unit_size;
  for (int r = 0; r < plot_rows; ++r)
    PutLineCharacter(top + 1 + r, kScaleWidth, kLineUp | kLineDown);
  if (!any) return;
  PutText(top + 1, 0, Formatted(series, axis_hi), kScaleWidth);
  PutText(top + 1 + (plot_rows - 1) / 2, 0, Formatted(series, (axis_hi + axis_lo) / 2),
          kScaleWidth);
  PutText(top + plot_rows, 0, Formatted(series, axis_lo), kScaleWidth);

  Dots dots(columns - kPlotLeft, plot_rows);
  const long long span_t = std::max<long long>(static_cast<long long>(t1 - t0), 1);
  const long long span_v = axis_hi - axis_lo;
  bool joined = false;
  int px = 0;
  int py = 0;
  for (int i = 0; i < count; ++i) {
    const Sample& s = history.At(sensor, i);
    if (!series.present(s)) {
      joined = false;  // a missing value: a gap in the line
      continue;
    }
    const long long dt = std::min<long long>(static_cast<long long>(s.tick - t0), span_t);
    const int x = static_cast<int>(dt * (dots.width() - 1) / span_t);
    const int y = static_cast<int>((axis_hi - series.value(s)) * (dots.height() - 1) / span_v);
    if (joined) {
      dots.Line(px, py, x, y);
    } else {
      dots.Set(x, y);
    }
    px = x;
    py = y;
    joined = true;
  }
  dots.Draw(top + 1, kPlotLeft, colours);
}

}  // namespace

int ChartView::SensorChoices() const {
  return std::clamp(std::max(g_state.sensor_count, history_->HighestSensor() + 1), 1,
                    ReadingHistory::kSensors);
}

void ChartView::Draw(int columns, int rows, std::uint32_t now, bool running) {
  erase();
  const int sensors = SensorChoices();
  sensor_ = std::min(sensor_, sensors - 1);
  char caption[32];
  std::snprintf(caption, sizeof caption, text::kPanelCaptionFormat, sensor_);
  const int count = history_->Count(sensor_);
  const attr_t title = PartAttributes(kTitleColours, A_REVERSE) | A_BOLD;
  FillRow(0, 0, columns, title);
  PutText(0, 1,
          std::string(caption) + "  " + std::to_string(count) + " readings in this run" +
              (count == ReadingHistory::kPerSensor ? " (the latest kept)" : ""),
          columns - 1, title);

  // The time axis runs from the start of the run, or of the readings kept, to now.
  std::uint32_t t0 = history_->run_start();
  if (count == ReadingHistory::kPerSensor) t0 = history_->At(sensor_, 0).tick;
  const std::uint32_t t1 = running ? now : history_->last_tick();
  const int plot_rows = std::max((rows - 5) / 2, 1);
  DrawSeries(*history_, sensor_, kTemperature, 1, plot_rows, columns, t0, t1);
  DrawSeries(*history_, sensor_, kHumidity, 2 + plot_rows, plot_rows, columns, t0, t1);

  const int axis_row = rows - 2;
  const std::string start = Elapsed(t0 - history_->run_start());
  const std::string middle = Elapsed((t0 - history_->run_start()) + (t1 - t0) / 2);
  const std::string end = Elapsed(t1 - history_->run_start());
  const int plot_width = columns - kPlotLeft;
  PutText(axis_row, kPlotLeft, start, plot_width);
  PutText(axis_row, kPlotLeft + (plot_width - static_cast<int>(middle.size())) / 2, middle,
          static_cast<int>(middle.size()));
  PutText(axis_row, columns - static_cast<int>(end.size()), end, static_cast<int>(end.size()));
  PutText(axis_row, 0, "run", kScaleWidth);
  const attr_t keys = PartAttributes(kStatusColours, A_REVERSE);
  FillRow(rows - 1, 0, columns, keys);
  PutText(rows - 1, 1,
          "Left/Right or 0-" + std::to_string(sensors - 1) +
              ": sensor   Esc or g: back to the window   ?: help",
          columns - 1, keys);
}

bool ChartView::Handle(const Input& in, std::uint32_t now) {
  const int sensors = SensorChoices();
  if ((in.kind == Input::kChar && (in.key == 27 || in.key == 'g' || in.key == 'G'))) return false;
  if (in.kind == Input::kFunction && (in.key == KEY_LEFT || in.key == KEY_RIGHT)) {
    sensor_ = (sensor_ + (in.key == KEY_LEFT ? sensors - 1 : 1)) % sensors;
    typed_ = -1;
  } else if (in.kind == Input::kChar && in.key >= '0' && in.key <= '9') {
    const int digit = in.key - '0';
    const int two_digits = typed_ * 10 + digit;
    if (typed_ > 0 && now - typed_at_ < kTwoDigitMs && two_digits < sensors) {
      sensor_ = two_digits;
      typed_ = -1;
    } else {
      if (digit < sensors) sensor_ = digit;
      typed_ = digit;
      typed_at_ = now;
    }
  }
  return true;
}
