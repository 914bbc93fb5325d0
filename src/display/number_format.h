// Showing fractional values in a line as printf's conversions would, computed from exact
// integers. A value exactly halfway between two shown values is rounded away from zero at the
// last shown digit; the C libraries do not agree on that for floating point, so no floating point
// is involved here.
#pragma once

#include <cstdint>

#include "display/text_line.h"

// Temperature in signed sixteenths of a degree as "%+04.1f" ("+23.3", "-2.5", "+0.0").
void AppendTemperature(TextLine& line, int sixteenths);

// Relative humidity in tenths of a percent as "%04.1f" ("05.2", "100.0").
void AppendHumidity(TextLine& line, std::uint32_t tenths);

// A duration in milliseconds as seconds with "%4.1f" (" 5.2", "123.5").
void AppendSeconds(TextLine& line, std::uint32_t milliseconds);

// The share of bad among bad + good in percent as "%4.2f" ("0.13", "33.33", "100.00"). Shows
// 0.00 when both are 0, which no caller asks for.
void AppendErrorRatio(TextLine& line, int bad, int good);
