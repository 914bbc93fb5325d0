// Decimal numbers as people type them into a command line, an environment variable or a
// command: digits only, a minus sign where negative values are allowed, one decimal point in a
// fixed-point value. No blanks, no plus sign, no exponent: "+1", " 1", "1x" or "1e3" are more
// likely typing mistakes than numbers. Leading zeros change nothing ("007" is 7).
#pragma once

#include <cstdint>
#include <string_view>

// A whole number from min to max; a leading "-" only where min is below 0. On false *value is
// unchanged.
bool ParseWholeNumber(std::string_view text, std::int64_t min, std::int64_t max,
                      std::int64_t* value);
// A whole number from 0 to max, which may be as large as 64 bits go.
bool ParseWholeNumber(std::string_view text, std::uint64_t max, std::uint64_t* value);

// A fixed-point number without sign as typed ("12", "0.05", ".5", "5."): its significant digits
// as one whole number and the number of decimals they reach ("0.050" is 5 and 2, "1.0" is 1
// and 0). Up to 19 significant digits; false for anything else.
struct Decimal {
  std::uint64_t digits = 0;
  int decimals = 0;
};
bool ParseDecimal(std::string_view text, Decimal* value);

// The number in units of 10^-places (places 0 to 18), a value exactly halfway rounded away from
// zero: "0.0015" in thousandths is 2. False when that is above max.
bool DecimalToUnits(const Decimal& number, int places, std::uint64_t max, std::uint64_t* units);

// A share from 0 to 1 ("0", "0.05", "1.0"), as the double nearest to the number typed.
bool ParseShare(std::string_view text, double* share);

// How fast a recording is played: "max" (0: as fast as the machine goes) or a number of times
// the recorded speed above 0 and up to 100000, in thousandths ("1", "0.5", "10").
bool ParseSpeed(std::string_view text, double* speed);

// Two whole numbers from min to max joined by separator, the first not above the second
// ("-20:35"). The separator is looked for after the first character, so that the first number
// may be negative.
bool ParseWholeRange(std::string_view text, char separator, std::int64_t min, std::int64_t max,
                     std::int64_t* low, std::int64_t* high);
