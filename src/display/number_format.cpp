#include "display/number_format.h"

namespace {

// n / d rounded to the nearest integer, a half rounded up (away from zero, n being a magnitude).
std::uint64_t RoundedQuotient(std::uint64_t n, std::uint64_t d) {
  return n / d + (n % d >= d - n % d ? 1 : 0);
}

std::uint64_t Magnitude(std::int64_t v) {
  return v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
}

// units / 10^decimals (decimals 0 to 4, width at most 8) as printf's "%f" conversion with that
// precision, the flag "+" when plus is set, zero padding when pad is '0' (space padding otherwise)
// and the minimum width.
void AppendFixed(TextLine& line, bool negative, std::uint64_t units, int decimals, bool plus,
                 char pad, int width) {
  // Digits are produced from the last one backwards: the decimals, the point, the whole part.
  char digits[32];
  int count = 0;
  for (int i = 0; i < decimals; ++i) {
    digits[count++] = static_cast<char>('0' + units % 10);
    units /= 10;
  }
  if (decimals > 0) digits[count++] = '.';
  do {
    digits[count++] = static_cast<char>('0' + units % 10);
    units /= 10;
  } while (units != 0);

  char out[48];
  int length = 0;
  const char sign = negative ? '-' : (plus ? '+' : '\0');
  const int shown = count + (sign != '\0' ? 1 : 0);
  const int fill = width > shown ? width - shown : 0;
  // Spaces go before the sign, zeros after it.
  if (pad != '0') {
    for (int i = 0; i < fill; ++i) out[length++] = ' ';
  }
  if (sign != '\0') out[length++] = sign;
  if (pad == '0') {
    for (int i = 0; i < fill; ++i) out[length++] = '0';
  }
  while (count > 0) out[length++] = digits[--count];
  out[length] = '\0';
  line.Append(out);
}

}  // namespace

void AppendTemperature(TextLine& line, int sixteenths) {
  const std::uint64_t magnitude = Magnitude(sixteenths);
  AppendFixed(line, sixteenths < 0, RoundedQuotient(magnitude * 10, 16), 1, true, '0', 4);
}

void AppendHumidity(TextLine& line, std::uint32_t tenths) {
  AppendFixed(line, false, tenths, 1, false, '0', 4);
}

void AppendSeconds(TextLine& line, std::uint32_t milliseconds) {
  AppendFixed(line, false, RoundedQuotient(milliseconds, 100), 1, false, ' ', 4);
}

void AppendErrorRatio(TextLine& line, int bad, int good) {
  // The sum of two int counters always fits in 64 bits, and so does bad * 10000.
  const std::int64_t total = static_cast<std::int64_t>(bad) + good;
  std::uint64_t hundredths = 0;
  if (total != 0) hundredths = RoundedQuotient(Magnitude(bad) * 10000, Magnitude(total));
  const bool negative = bad != 0 && total != 0 && (bad < 0) != (total < 0);
  AppendFixed(line, negative, hundredths, 2, false, ' ', 4);
}
