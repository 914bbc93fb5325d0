#include "settings/cp936.h"

#include <algorithm>
#include <iterator>

#include "display/utf8.h"
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
