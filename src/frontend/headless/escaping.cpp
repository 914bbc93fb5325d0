#include "frontend/headless/escaping.h"

#include <cstdint>

#include "display/utf8.h"

namespace {

// The length of the well-formed UTF-8 sequence that starts at text[i], or 0 when none starts
// there.
std::size_t SequenceLength(const std::string& text, std::size_t i) {
  std::uint32_t code_point = 0;
  return DecodeUtf8(reinterpret_cast<const std::uint8_t*>(text.data()) + i, text.size() - i,
                    &code_point);
}

// NOLINTNEXTLINE(readability-function-cognitive-complexity): steps in the order they happen
std::string Escape(const std::string& text, bool quoted) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = quoted ? "\"" : "";
  out.reserve(text.size() + 2);
  for (std::size_t i = 0; i < text.size();) {
    // A run of printable ASCII that needs no backslash goes in whole.
    std::size_t plain = i;
    while (plain < text.size()) {
      const auto c = static_cast<unsigned char>(text[plain]);
      if (c < 0x20 || c >= 0x7F || c == '\\' || (quoted && c == '"')) break;
      ++plain;
    }
    if (plain > i) {
      out.append(text, i, plain - i);
      i = plain;
      continue;
    }
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
