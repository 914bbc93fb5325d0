// Fractional values are checked against references that compute the exact decimal value in a
// different way and decide ties explicitly; where a value is no tie, the C library's printf of
// the same conversion must agree byte for byte.
#include <cstdint>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "display/number_format.h"

namespace {

std::string Temperature(int sixteenths) {
  TextLine line;
  AppendTemperature(line, sixteenths);
  return line.c_str();
}

std::string Humidity(std::uint32_t tenths) {
  TextLine line;
  AppendHumidity(line, tenths);
  return line.c_str();
}

std::string Seconds(std::uint32_t ms) {
  TextLine line;
  AppendSeconds(line, ms);
  return line.c_str();
}

std::string Ratio(int bad, int good) {
  TextLine line;
  AppendErrorRatio(line, bad, good);
  return line.c_str();
}

// Right-aligns text in a field of width characters, as printf's "%*s" does.
std::string PadLeft(const std::string& text, int width) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%*s", width, text.c_str());
  return buf;
}

// A sixteenth is exactly 625 ten-thousandths, so m sixteenths are m * 625 ten-thousandths; the
// digits below the tenths decide, 500 being the tie.
std::string ReferenceTemperature(bool negative, int magnitude) {
  const long exact = magnitude * 625L;
  long tenths = exact / 1000;
  if (exact % 1000 >= 500) ++tenths;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%c%ld.%ld", negative ? '-' : '+', tenths / 10, tenths % 10);
  std::string s = buf;
  if (s.size() < 4) s.insert(1, 4 - s.size(), '0');
  return s;
}

bool TemperatureIsTie(int magnitude) {
  return magnitude * 625L % 1000 == 500;
}

TEST(NumberFormat, TemperatureOverEveryMagnitudeAndSign) {
  for (int m = 0; m <= 2047; ++m) {
    // Zero magnitude shows +0.0 whatever the sign bit said, as a signed zero count has no sign.
    EXPECT_EQ(Temperature(m), ReferenceTemperature(false, m)) << m;
    if (m != 0) {
      EXPECT_EQ(Temperature(-m), ReferenceTemperature(true, m)) << -m;
    }
    if (!TemperatureIsTie(m)) {
      char buf[32];
      std::snprintf(buf, sizeof buf, "%+04.1f", m / 16.0);
      EXPECT_EQ(Temperature(m), buf) << m;
      if (m != 0) {
        std::snprintf(buf, sizeof buf, "%+04.1f", -m / 16.0);
        EXPECT_EQ(Temperature(-m), buf) << -m;
      }
    }
  }
}

TEST(NumberFormat, TemperatureTiesRoundAwayFromZero) {
  EXPECT_EQ(Temperature(372), "+23.3");   // 23.25
  EXPECT_EQ(Temperature(-372), "-23.3");  // -23.25
  EXPECT_EQ(Temperature(4), "+0.3");      // 0.25
  EXPECT_EQ(Temperature(-12), "-0.8");    // -0.75
  EXPECT_EQ(Temperature(369), "+23.1");   // 23.0625
  EXPECT_EQ(Temperature(0), "+0.0");
  EXPECT_EQ(Temperature(-1792), "-112.0");
  EXPECT_EQ(Temperature(-2047), "-127.9");
}

TEST(NumberFormat, HumidityOverEveryValue) {
  for (std::uint32_t t = 0; t <= 65535; ++t) {
    char reference[32];
    std::snprintf(reference, sizeof reference, "%02u.%u", t / 10, t % 10);
    ASSERT_EQ(Humidity(t), reference) << t;
    char via_printf[32];
    std::snprintf(via_printf, sizeof via_printf, "%04.1f", t / 10.0);
    ASSERT_EQ(Humidity(t), via_printf) << t;
  }
  EXPECT_EQ(Humidity(52), "05.2");
  EXPECT_EQ(Humidity(1000), "100.0");
}

std::string ReferenceSeconds(std::uint64_t ms) {
  std::uint64_t tenths = ms / 100;
  if (ms % 100 >= 50) ++tenths;
  return PadLeft(std::to_string(tenths / 10) + "." + std::to_string(tenths % 10), 4);
}

TEST(NumberFormat, SecondsFromMilliseconds) {
  for (std::uint32_t ms = 0; ms <= 250000; ++ms) {
    ASSERT_EQ(Seconds(ms), ReferenceSeconds(ms)) << ms;
  }
  // Near the top of the 32-bit range, where adding the rounding half would overflow 32 bits.
  for (std::uint32_t ms = 0xFFFFFFFFu - 5000; ms != 0; ++ms) {
    ASSERT_EQ(Seconds(ms), ReferenceSeconds(ms)) << ms;
  }
  EXPECT_EQ(Seconds(1250), " 1.3");
  EXPECT_EQ(Seconds(5200), " 5.2");
  EXPECT_EQ(Seconds(30010), "30.0");
  EXPECT_EQ(Seconds(123456), "123.5");
  EXPECT_EQ(Seconds(0xFFFFFFFFu), "4294967.3");
}

std::string ReferenceRatio(long long bad, long long good) {
  const long long total = bad + good;
  long long hundredths = bad * 10000 / total;
  const long long remainder = bad * 10000 % total;
  if (2 * remainder >= total) ++hundredths;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%lld.%02lld", hundredths / 100, hundredths % 100);
  return PadLeft(buf, 4);
}

TEST(NumberFormat, ErrorRatioInPercent) {
  for (int bad = 0; bad <= 400; ++bad) {
    for (int good = 0; good <= 400; ++good) {
      if (bad + good == 0) continue;
      ASSERT_EQ(Ratio(bad, good), ReferenceRatio(bad, good)) << bad << "/" << good;
    }
  }
  EXPECT_EQ(Ratio(1, 0), "100.00");
  EXPECT_EQ(Ratio(1, 2), "33.33");
  EXPECT_EQ(Ratio(1, 799), "0.13");  // exactly 0.125
  EXPECT_EQ(Ratio(0, 5), "0.00");
  EXPECT_EQ(Ratio(2147483647, 2147483647), "50.00");
  EXPECT_EQ(Ratio(1, 2147483647), "0.00");
  EXPECT_EQ(Ratio(2147483647, 1), "100.00");
}

TEST(NumberFormat, LineIsCutAtItsCapacityAndStaysTerminated) {
  TextLine line;
  const std::string chunk(100, 'x');
  for (int i = 0; i < 4; ++i) line.Append(chunk.c_str());
  EXPECT_EQ(line.size(), kLineCapacity - 1);
  line.AppendFormat("%05d", 42);
  AppendTemperature(line, 5);
  EXPECT_EQ(std::string(line.c_str()), std::string(kLineCapacity - 1, 'x'));

  TextLine numbers;
  numbers.AppendFormat("%03d-%02X-", 7, 0x3A);
  AppendHumidity(numbers, 456);
  EXPECT_STREQ(numbers.c_str(), "007-3A-45.6");
  EXPECT_EQ(numbers.size(), 11u);
}

}  // namespace
