#include "frontend/headless/escaping.h"

namespace {

// The length of the well-formed UTF-8 sequence that starts at text[i] (the shortest form of a
// code point other than a surrogate, at most U+10FFFF), or 0 when none starts there.
std::size_t SequenceLength(const std::string& text, std::size_t i) {
  const auto at = [&text](std::size_t k) {
    return k < text.size() ? static_cast<unsigned char>(text[k]) : 0u;
  };
  const unsigned lead = at(i);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned low = 0x80;  // the range of the second byte
  unsigned high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    low = lead == 0xE0 ? 0xA0 : low;
    high = lead == 0xED ? 0x9F : high;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    low = lead == 0xF0 ? 0x90 : low;
    high = lead == 0xF4 ? 0x8F : high;
  } else {
    return 0;
  }
  if (at(i + 1) < low || at(i + 1) > high) return 0;
  for (std::size_t k = 2; k < length; ++k) {
    if (at(i + k) < 0x80 || at(i + k) > 0xBF) return 0;
  }
  return length;
}

std::string Escape(const std::string& text, bool quoted) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = quoted ? "\"" : "";
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = SequenceLength(text, i);
    // C1 controls are U+0080 to U+009F: C2 80 to C2 9F.
    const bool control =
        lead < 0x20 || lead == 0x7F ||
        (lead == 0xC2 && length == 2 && static_cast<unsigned char>(text[i + 1]) < 0xA0);
    if (length == 0 || control) {
      for (const std::size_t end = i + (length == 0 ? 1 : length); i < end; ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        out += "\\x";
        out += kHex[b >> 4];
        out += kHex[b & 0xF];
      }
      continue;
    }
    if (lead == '\\' || (quoted && lead == '"')) out += '\\';
    out.append(text, i, length);
    i += length;
  }
  return quoted ? out + "\"" : out;
}

}  // namespace

std::string Escaped(const std::string& text) {
  return Escape(text, false);
}

std::string Quoted(const std::string& text) {
  return Escape(text, true);
}
