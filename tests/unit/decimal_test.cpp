// Decimal numbers as typed: what is a number, what is out of range, and the exact value a
// fixed-point number stands for.
#include "cli/decimal.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

constexpr std::int64_t kRefused = -999;

TEST(Decimal, WholeNumbersAreDigitsWithinTheirRange) {
  const struct {
    const char* text;
    std::int64_t min, max, value;
  } cases[] = {{"007", 0, 9, 7},       {"10", 0, 9, kRefused},  {"", 0, 9, kRefused},
               {"-3", -9, 9, -3},      {"-0", -9, 9, 0},        {"-0", 0, 9, kRefused},
               {"-", -9, 9, kRefused}, {"0", -9, -1, kRefused}, {"+1", 0, 9, kRefused},
               {" 1", 0, 9, kRefused}, {"1x", 0, 9, kRefused},  {"1e3", 0, 9999, kRefused}};
  for (const auto& c : cases) {
    std::int64_t value = kRefused;  // left alone when refused
    EXPECT_EQ(ParseWholeNumber(c.text, c.min, c.max, &value), c.value != kRefused) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
  }
  std::int64_t low = 0;
  EXPECT_TRUE(ParseWholeNumber("-9223372036854775808", INT64_MIN, 0, &low) && low == INT64_MIN);
  EXPECT_FALSE(ParseWholeNumber("99999999999999999999", 0, INT64_MAX, &low));
  std::uint64_t seed = 0;
  EXPECT_TRUE(ParseWholeNumber("18446744073709551615", UINT64_MAX, &seed) && seed == UINT64_MAX);
  EXPECT_FALSE(ParseWholeNumber("18446744073709551616", UINT64_MAX, &seed));
}

TEST(Decimal, FixedPointValuesAreExactAndRoundHalfAwayFromZero) {
  const struct {
    const char* text;
    int places;  // units of 10^-places, at most 9999
    std::int64_t units;
  } cases[] = {{"0.05", 3, 50},        {".5", 3, 500},          {"5.", 3, 5000},
               {"0.0015", 3, 2},       {"0.00149", 3, 1},       {"2.5", 0, 3},
               {"000.250", 2, 25},     {"9.9996", 3, kRefused}, {".", 3, kRefused},
               {"1.2.3", 3, kRefused}, {"-1", 3, kRefused},     {"1e3", 3, kRefused}};
  for (const auto& c : cases) {
    Decimal number;
    std::uint64_t units = 0;
    const bool ok = ParseDecimal(c.text, &number) && DecimalToUnits(number, c.places, 9999, &units);
    EXPECT_EQ(ok ? static_cast<std::int64_t>(units) : kRefused, c.units) << c.text;
  }
  Decimal number;
  std::uint64_t units = 1;
  EXPECT_FALSE(ParseDecimal("12345678901234567890", &number));  // more digits than 64 bits hold
  EXPECT_TRUE(ParseDecimal("0.000000000000000000000001", &number) &&
              DecimalToUnits(number, 2, 9, &units) && units == 0);
  // A share is the double nearest to the number typed, from 0 to 1.
  const std::pair<const char*, double> shares[] = {
      {"1.000", 1},   {"0.1", 0.1}, {"0.7", 0.7}, {"0.123456789012345", 0.123456789012345},
      {"1.0001", -1}, {"-0", -1},   {"nan", -1}};
  for (const auto& [text, share] : shares) {
    double value = 0;
    EXPECT_EQ(ParseShare(text, &value) ? value : -1, share) << text;
  }
}

TEST(Decimal, RangesAreTwoNumbersInOrder) {
  const struct {
    const char* text;
    std::int64_t low, high;
  } cases[] = {{"-20:35", -20, 35},    {"-5:-3", -5, -3},   {"6:5", kRefused, 0},
               {"0:121", kRefused, 0}, {":5", kRefused, 0}, {"1:2:3", kRefused, 0}};
  for (const auto& c : cases) {
    std::int64_t low = kRefused, high = 0;
    EXPECT_EQ(ParseWholeRange(c.text, ':', -120, 120, &low, &high), c.low != kRefused) << c.text;
    EXPECT_EQ(std::make_pair(low, high), std::make_pair(c.low, c.high)) << c.text;
  }
}

}  // namespace
