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

// Printable ASCII that needs no backslash: it goes in as it is.
bool Plain(unsigned char c, bool quoted) {
  return c >= 0x20 && c < 0x7F && c != '\\' && !(quoted && c == '"');
}

// The end of the run of plain bytes that starts at text[i].
std::size_t PlainRunEnd(const std::string& text, std::size_t i, bool quoted) {
  while (i < text.size() && Plain(static_cast<unsigned char>(text[i]), quoted)) ++i;
  return i;
}

// A C0 control, DEL, or a C1 control (U+0080 to U+009F: C2 80 to C2 9F), given the length of
// the well-formed sequence at text[i].
bool IsControl(const std::string& text, std::size_t i, std::size_t length) {
  const auto lead = static_cast<unsigned char>(text[i]);
  return lead < 0x20 || lead == 0x7F ||
         (lead == 0xC2 && length == 2 && static_cast<unsigned char>(text[i + 1]) < 0xA0);
}

// Each byte of text[begin, end) as \xHH.
void AppendHex(const std::string& text, std::size_t begin, std::size_t end, std::string* out) {
  static const char kHex[] = "0123456789ABCDEF";
  for (std::size_t i = begin; i < end; ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    *out += "\\x";
    *out += kHex[b >> 4];
    *out += kHex[b & 0xF];
  }
}

std::string Escape(const std::string& text, bool quoted) {
  std::string out = quoted ? "\"" : "";
  out.reserve(text.size() + 2);
  for (std::size_t i = 0; i < text.size();) {
    // A run of plain bytes goes in whole.
    const std::size_t plain = PlainRunEnd(text, i, quoted);
    if (plain > i) {
      out.append(text, i, plain - i);
      i = plain;
      continue;
    }
    const std::size_t length = SequenceLength(text, i);
    if (length == 0 || IsControl(text, i, length)) {
      const std::size_t end = i + (length == 0 ? 1 : length);
      AppendHex(text, i, end, &out);
      i = end;
      continue;
    }
    const char lead = text[i];
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
