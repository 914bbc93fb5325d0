#include "frontend/terminal/cell_text.h"

#include <cwchar>

namespace {

constexpr wchar_t kReplacement = 0xFFFD;

// The length of the UTF-8 sequence that begins with lead, and the payload bits of that byte;
// 0 for a byte that begins none.
int SequenceLength(unsigned char lead, char32_t* bits) {
  if (lead < 0x80) {
    *bits = lead;
    return 1;
  }
  if (lead >= 0xC2 && lead <= 0xDF) {
    *bits = lead & 0x1Fu;
    return 2;
  }
  if (lead >= 0xE0 && lead <= 0xEF) {
    *bits = lead & 0x0Fu;
    return 3;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    *bits = lead & 0x07u;
    return 4;
  }
  return 0;
}

}  // namespace

std::wstring WideText(const std::string& utf8) {
  std::wstring out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    char32_t c = 0;
    const int length = SequenceLength(static_cast<unsigned char>(utf8[i]), &c);
    int taken = length;
    for (int k = 1; k < length; ++k) {
      const auto next = i + static_cast<std::size_t>(k) < utf8.size()
                            ? static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)])
                            : 0u;
      if ((next & 0xC0u) != 0x80u) {
        taken = k;
        c = kReplacement;
        break;
      }
      c = (c << 6) | (next & 0x3Fu);
    }
    // Overlong forms, surrogates and values beyond Unicode are not text either.
    static constexpr char32_t kLeast[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (length == 0) {
      taken = 1;
      c = kReplacement;
    } else if (c != kReplacement &&
               (c < kLeast[length] || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)) {
      c = kReplacement;
    }
    if (c < 0x20 || c == 0x7F) c = '?';
    out.push_back(static_cast<wchar_t>(c));
    i += static_cast<std::size_t>(taken);
  }
  return out;
}

int CellWidth(wchar_t c) {
  const int width = ::wcwidth(c);
  return width < 0 ? 1 : width;
}

int CellWidth(const std::wstring& text) {
  int cells = 0;
  for (const wchar_t c : text) cells += CellWidth(c);
  return cells;
}

std::wstring ClipToCells(const std::wstring& text, int cells) {
  int used = 0;
  std::size_t n = 0;
  for (; n < text.size(); ++n) {
    const int width = CellWidth(text[n]);
    if (used + width > cells) break;
    used += width;
  }
  return text.substr(0, n);
}

std::vector<std::wstring> WrapToCells(const std::wstring& text, int cells) {
  std::vector<std::wstring> lines;
  std::wstring rest = text;
  while (!rest.empty()) {
    std::wstring line = ClipToCells(rest, cells);
    if (line.empty()) line = rest.substr(0, 1);
    rest.erase(0, line.size());
    lines.push_back(line);
  }
  return lines;
}
