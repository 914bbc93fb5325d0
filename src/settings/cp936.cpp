#include "settings/cp936.h"

#include <algorithm>
#include <iterator>

#include "settings/cp936_table.h"

int Cp936Encode(std::uint32_t code_point, std::uint8_t out[2]) {
  if (code_point < 0x80) {
    out[0] = static_cast<std::uint8_t>(code_point);
    return 1;
  }
  const Cp936Entry* end = std::end(kCp936Table);
  const Cp936Entry* it =
      std::lower_bound(std::begin(kCp936Table), end, code_point,
                       [](const Cp936Entry& e, std::uint32_t cp) { return e.code_point < cp; });
  if (it == end || it->code_point != code_point) return 0;
  out[0] = it->bytes[0];
  out[1] = it->bytes[1];
  return 2;
}

namespace {

// Decodes one UTF-8 sequence at s (n bytes available). Returns its length and sets *cp, or
// returns 0 for a byte that starts no valid sequence (overlong forms and surrogates included).
std::size_t DecodeUtf8(const std::uint8_t* s, std::size_t n, std::uint32_t* cp) {
  const std::uint8_t b0 = s[0];
  std::size_t len;
  std::uint32_t min;
  if (b0 < 0x80) {
    *cp = b0;
    return 1;
  } else if ((b0 & 0xE0) == 0xC0) {
    len = 2;
    min = 0x80;
    *cp = b0 & 0x1Fu;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3;
    min = 0x800;
    *cp = b0 & 0x0Fu;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4;
    min = 0x10000;
    *cp = b0 & 0x07u;
  } else {
    return 0;
  }
  if (len > n) return 0;
  for (std::size_t i = 1; i < len; ++i) {
    if ((s[i] & 0xC0) != 0x80) return 0;
    *cp = (*cp << 6) | (s[i] & 0x3Fu);
  }
  if (*cp < min || *cp > 0x10FFFF || (*cp >= 0xD800 && *cp <= 0xDFFF)) return 0;
  return len;
}

}  // namespace

std::size_t Utf8ToCp936(const char* src, std::size_t len, std::uint8_t* dst, std::size_t cap) {
  const auto* s = reinterpret_cast<const std::uint8_t*>(src);
  std::size_t in = 0;
  std::size_t out = 0;
  while (in < len) {
    std::uint32_t cp = 0;
    std::size_t used = DecodeUtf8(s + in, len - in, &cp);
    std::uint8_t bytes[2] = {'?', 0};
    int count = 1;
    if (used == 0) {
      used = 1;  // one '?' per byte that starts nothing valid
    } else {
      count = Cp936Encode(cp, bytes);
      if (count == 0) {
        bytes[0] = '?';
        count = 1;
      }
    }
    if (out + static_cast<std::size_t>(count) > cap) break;
    std::copy(bytes, bytes + count, dst + out);
    out += static_cast<std::size_t>(count);
    in += used;
  }
  return out;
}
