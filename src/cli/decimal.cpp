#include "cli/decimal.h"

namespace {

constexpr int kMaxSignificantDigits = 19;  // 10^19 - 1 still fits 64 bits

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool AllDigits(std::string_view text) {
  for (const char c : text) {
    if (!IsDigit(c)) return false;
  }
  return true;
}

std::uint64_t PowerOfTen(int exponent) {
  std::uint64_t power = 1;
  for (int i = 0; i < exponent; ++i) power *= 10;
  return power;
}

// Digits only, read as one number no larger than max.
bool ParseMagnitude(std::string_view text, std::uint64_t max, std::uint64_t* value) {
  if (text.empty()) return false;
  std::uint64_t v = 0;
  for (const char c : text) {
    if (!IsDigit(c)) return false;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (v > (max - digit) / 10) return false;
    v = v * 10 + digit;
  }
  *value = v;
  return true;
}

}  // namespace

bool ParseWholeNumber(std::string_view text, std::uint64_t max, std::uint64_t* value) {
  return ParseMagnitude(text, max, value);
}

bool ParseWholeNumber(std::string_view text, std::int64_t min, std::int64_t max,
                      std::int64_t* value) {
  const bool negative = !text.empty() && text[0] == '-';
  if (min > max || (negative && min >= 0) || (!negative && max < 0)) return false;
  // The largest magnitude each sign may reach, worked out without overflowing at INT64_MIN.
  const std::uint64_t limit =
      negative ? 0 - static_cast<std::uint64_t>(min) : static_cast<std::uint64_t>(max);
  std::uint64_t magnitude = 0;
  if (!ParseMagnitude(text.substr(negative ? 1 : 0), limit, &magnitude)) return false;
  const auto v =
      negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
  if (v < min || v > max) return false;  // "-0" where max is below 0
  *value = v;
  return true;
}

bool ParseDecimal(std::string_view text, Decimal* value) {
  const std::size_t point = text.find('.');
  std::string_view whole = text.substr(0, point);
  std::string_view fraction = point == std::string_view::npos ? "" : text.substr(point + 1);
  if ((whole.empty() && fraction.empty()) || !AllDigits(whole) || !AllDigits(fraction)) {
    return false;  // also a second point, which is no digit
  }
  while (!fraction.empty() && fraction.back() == '0') fraction.remove_suffix(1);
  Decimal number;
  int significant = 0;
  for (const std::string_view part : {whole, fraction}) {
    for (const char c : part) {
      if (significant == 0 && c == '0') continue;
      if (++significant > kMaxSignificantDigits) return false;
      number.digits = number.digits * 10 + static_cast<std::uint64_t>(c - '0');
    }
  }
  number.decimals = static_cast<int>(fraction.size());
  *value = number;
  return true;
}

bool DecimalToUnits(const Decimal& number, int places, std::uint64_t max, std::uint64_t* units) {
  if (places < 0 || places > 18) return false;
  std::uint64_t result = 0;
  if (number.decimals <= places) {
    const std::uint64_t scale = PowerOfTen(places - number.decimals);
    if (number.digits > max / scale) return false;
    result = number.digits * scale;
  } else if (number.decimals - places <= kMaxSignificantDigits) {
    const std::uint64_t divisor = PowerOfTen(number.decimals - places);
    const std::uint64_t rest = number.digits % divisor;
    result = number.digits / divisor + (rest >= divisor - rest ? 1 : 0);
  }  // else far below half a unit: 0
  if (result > max) return false;
  *units = result;
  return true;
}

bool ParseShare(std::string_view text, double* share) {
  Decimal number;
  if (!ParseDecimal(text, &number)) return false;
  // At most 1: the digits at most 10^decimals (fewer than 20 digits are below 10^20 and more).
  if (number.decimals <= kMaxSignificantDigits && number.digits > PowerOfTen(number.decimals)) {
    return false;
  }
  // Both are exact doubles for up to 15 digits and 22 decimals, so that the one division rounds
  // to the nearest double, as a correctly rounding strtod would.
  double scale = 1;
  for (int i = 0; i < number.decimals; ++i) scale *= 10;
  *share = static_cast<double>(number.digits) / scale;
  return true;
}

bool ParseSpeed(std::string_view text, double* speed) {
  if (text == "max") {
    *speed = 0;
    return true;
  }
  Decimal number;
  std::uint64_t thousandths = 0;
  if (!ParseDecimal(text, &number) || !DecimalToUnits(number, 3, 100000000, &thousandths) ||
      thousandths == 0) {
    return false;
  }
  *speed = static_cast<double>(thousandths) / 1000;
  return true;
}

bool ParseWholeRange(std::string_view text, char separator, std::int64_t min, std::int64_t max,
                     std::int64_t* low, std::int64_t* high) {
  const std::size_t at = text.find(separator, 1);
  std::int64_t first = 0, second = 0;
  if (at == std::string_view::npos || !ParseWholeNumber(text.substr(0, at), min, max, &first) ||
      !ParseWholeNumber(text.substr(at + 1), min, max, &second) || first > second) {
    return false;
  }
  *low = first;
  *high = second;
  return true;
}
