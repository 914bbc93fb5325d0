// Fractional values are checked over their whole range against references that compute the
// exact decimal value in another way and decide ties explicitly (away from zero).
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "display/number_format.h"

namespace {

template <class Append, class... Args>
std::string Format(Append append, Args... args) {
  TextLine line;
  append(line, args...);
  return line.c_str();
}

std::string Printf(const char* format, ...) {
  char buf[64];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  return buf;
}

TEST(NumberFormat, TemperatureOverEveryMagnitudeAndSign) {
  for (int m = 0; m <= 2047; ++m) {
    // A sixteenth is exactly 625 ten-thousandths; the digits below the tenths decide.
    const long exact = m * 625L;
    const long tenths = exact / 1000 + (exact % 1000 >= 500 ? 1 : 0);
    const std::string digits = Printf("%ld.%ld", tenths / 10, tenths % 10);
    EXPECT_EQ(Format(AppendTemperature, m), "+" + digits) << m;
    // Zero magnitude shows +0.0 whatever the sign bit said.
    EXPECT_EQ(Format(AppendTemperature, -m), (m == 0 ? "+" : "-") + digits) << -m;
  }
  EXPECT_EQ(Format(AppendTemperature, 372), "+23.3");  // 23.25
  EXPECT_EQ(Format(AppendTemperature, -12), "-0.8");   // -0.75
  EXPECT_EQ(Format(AppendTemperature, -2047), "-127.9");
}

TEST(NumberFormat, HumidityOverEveryValue) {
  for (std::uint32_t t = 0; t <= 65535; ++t) {
    ASSERT_EQ(Format(AppendHumidity, t), Printf("%02u.%u", t / 10, t % 10)) << t;
  }
  EXPECT_EQ(Format(AppendHumidity, 1000), "100.0");
}

TEST(NumberFormat, SecondsFromMilliseconds) {
  const auto reference = [](std::uint64_t ms) {
    const std::uint64_t tenths = ms / 100 + (ms % 100 >= 50 ? 1 : 0);
    return Printf("%4s", (std::to_string(tenths / 10) + "." + std::to_string(tenths % 10)).c_str());
  };
  for (std::uint32_t ms = 0; ms <= 250000; ++ms)
    ASSERT_EQ(Format(AppendSeconds, ms), reference(ms)) << ms;
  // Near the top of the 32-bit range, where adding the rounding half would overflow.
  for (std::uint32_t ms = 0xFFFFFFFFu - 5000; ms != 0; ++ms) {
    ASSERT_EQ(Format(AppendSeconds, ms), reference(ms)) << ms;
  }
  EXPECT_EQ(Format(AppendSeconds, 1250), " 1.3");
  EXPECT_EQ(Format(AppendSeconds, 0xFFFFFFFFu), "4294967.3");
}

TEST(NumberFormat, ErrorRatioInPercent) {
  for (long long bad = 0; bad <= 400; ++bad) {
    for (long long good = bad == 0 ? 1 : 0; good <= 400; ++good) {
      const long long total = bad + good;
      const long long hundredths = bad * 10000 / total + (2 * (bad * 10000 % total) >= total);
      ASSERT_EQ(Format(AppendErrorRatio, static_cast<int>(bad), static_cast<int>(good)),
                Printf("%lld.%02lld", hundredths / 100, hundredths % 100))
          << bad << "/" << good;
    }
  }
  EXPECT_EQ(Format(AppendErrorRatio, 1, 0), "100.00");
  EXPECT_EQ(Format(AppendErrorRatio, 1, 799), "0.13");  // exactly 0.125
  EXPECT_EQ(Format(AppendErrorRatio, 2147483647, 2147483647), "50.00");
  EXPECT_EQ(Format(AppendErrorRatio, 1, 2147483647), "0.00");
}

TEST(NumberFormat, LineIsCutAtItsCapacityAndStaysTerminated) {
  TextLine line;
  const std::string chunk(100, 'x');
  for (int i = 0; i < 4; ++i) line.Append(chunk.c_str());
  line.AppendFormat("%05d", 42);
  AppendTemperature(line, 5);
  EXPECT_EQ(std::string(line.c_str()), std::string(kLineCapacity - 1, 'x'));
}

}  // namespace
