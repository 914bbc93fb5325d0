#include "display/hex_dump.h"

std::size_t FormatHexDump(const std::uint8_t* bytes, int count, char separator,
                          HexSeparator placement, char* out, std::size_t cap) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::size_t length = 0;
  for (int i = 0; i < count; ++i) {
    const bool before = placement == HexSeparator::kBetween && i > 0;
    const bool after = placement == HexSeparator::kAfterEach;
    if (length + 2 + before + after >= cap) break;
    if (before) out[length++] = separator;
    out[length++] = kDigits[bytes[i] >> 4];
    out[length++] = kDigits[bytes[i] & 0x0F];
    if (after) out[length++] = separator;
  }
  out[length] = '\0';
  return length;
}
