#include "display/utf8.h"

std::size_t Utf8LeadLength(std::uint8_t lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

std::size_t DecodeUtf8(const std::uint8_t* s, std::size_t n, std::uint32_t* code_point) {
  if (n == 0) return 0;
  const std::size_t length = Utf8LeadLength(s[0]);
  if (length == 0 || length > n) return 0;
  static constexpr std::uint8_t kLeadBits[5] = {0, 0x7F, 0x1F, 0x0F, 0x07};
  static constexpr std::uint32_t kLeast[5] = {0, 0, 0x80, 0x800, 0x10000};
  std::uint32_t cp = s[0] & kLeadBits[length];
  for (std::size_t i = 1; i < length; ++i) {
    if ((s[i] & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (s[i] & 0x3Fu);
  }
  if (cp < kLeast[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  *code_point = cp;
  return length;
}
