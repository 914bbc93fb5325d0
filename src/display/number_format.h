// Building the text of a list box line piece by piece in a fixed buffer, and showing fractional
// values with printf's conversions computed from exact integers. A value exactly halfway between
// two shown values is rounded away from zero at the last shown digit; the C libraries do not
// agree on that for floating point, so no floating point is involved here.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__GNUC__)
#define WSMON_PRINTF_LIKE(format_index, first_arg) \
  __attribute__((format(printf, format_index, first_arg)))
#else
#define WSMON_PRINTF_LIKE(format_index, first_arg)
#endif

// Room for one line: the longest line the monitor builds is well under 100 bytes.
constexpr std::size_t kLineCapacity = 300;

// A line under construction. It lives on the caller's stack; a piece that does not fit is cut
// short and the text stays terminated.
class TextLine {
 public:
  TextLine() { text_[0] = '\0'; }

  const char* c_str() const { return text_; }
  std::size_t size() const { return length_; }

  void Append(const char* piece);
  // printf conversions of integers and strings only.
  void AppendFormat(const char* format, ...) WSMON_PRINTF_LIKE(2, 3);

 private:
  char text_[kLineCapacity];
  std::size_t length_ = 0;
};

// Temperature in signed sixteenths of a degree as "%+04.1f" ("+23.3", "-2.5", "+0.0").
void AppendTemperature(TextLine& line, int sixteenths);

// Relative humidity in tenths of a percent as "%04.1f" ("05.2", "100.0").
void AppendHumidity(TextLine& line, std::uint32_t tenths);

// A duration in milliseconds as seconds with "%4.1f" (" 5.2", "123.5").
void AppendSeconds(TextLine& line, std::uint32_t milliseconds);

// The share of bad among bad + good in percent as "%4.2f" ("0.13", "33.33", "100.00"). Shows
// 0.00 when both are 0, which no caller asks for.
void AppendErrorRatio(TextLine& line, int bad, int good);
