// The live chart: one sensor's temperature and humidity over the run, drawn over the whole
// screen in Braille cells (two dots across and four down in each cell), with the scale of each
// plot, its min, max and last value, and a time axis from the start of the run (or of the kept
// history) to now. A reading without a value breaks the line, so gaps show where values were
// missing.
//
// Keys: Left and Right choose the previous or next sensor, a sensor number typed (one or two
// digits) chooses that sensor, Esc or g returns to the window.
#pragma once

#include <cstdint>

#include "frontend/terminal/reading_history.h"
#include "frontend/terminal/terminal.h"

class ChartView {
 public:
  explicit ChartView(const ReadingHistory* history) : history_(history) {}

  void Draw(int columns, int rows, std::uint32_t now, bool running);
  // Handles a key at now; false when the operator leaves the chart.
  bool Handle(const Input& in, std::uint32_t now);
  int sensor() const { return sensor_; }

 private:
  // Sensors that can be chosen: those watched, and any other heard from in this run.
  int SensorChoices() const;

  const ReadingHistory* history_;
  int sensor_ = 0;
  int typed_ = -1;  // the first digit of a number being typed
  std::uint32_t typed_at_ = 0;
};
