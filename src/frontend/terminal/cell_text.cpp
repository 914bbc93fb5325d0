#include "frontend/terminal/cell_text.h"

#include <cstdint>
#include <cwchar>

#include "display/utf8.h"

namespace {

constexpr wchar_t kReplacement = 0xFFFD;

}  // namespace

std::wstring WideText(const std::string& utf8) {
  std::wstring out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(utf8.data());
  while (i < utf8.size()) {
    std::uint32_t c = 0;
    std::size_t taken = DecodeUtf8(bytes + i, utf8.size() - i, &c);
    if (taken == 0) {
      // One replacement for a byte that begins nothing, or for the whole of a sequence that
      // is cut short, overlong or no character.
      c = kReplacement;
      const std::size_t length = Utf8LeadLength(bytes[i]);
      taken = 1;
      while (taken < length && i + taken < utf8.size() && (bytes[i + taken] & 0xC0) == 0x80) {
        ++taken;
      }
    }
    if (c < 0x20 || c == 0x7F) c = '?';
    out.push_back(static_cast<wchar_t>(c));
    i += taken;
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
    std::size_t taken = line.size();
    // Between words where the line has a blank to break at; the blank itself goes.
    const std::size_t blank = line.rfind(L' ');
    if (taken < rest.size() && rest[taken] != L' ' && blank != std::wstring::npos && blank > 0) {
      line.erase(blank);
      taken = blank + 1;
    } else if (taken < rest.size() && rest[taken] == L' ') {
      ++taken;
    }
    rest.erase(0, taken);
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::wstring> BreakIntoRows(const std::wstring& text, int cells) {
  std::vector<std::wstring> rows;
  std::wstring rest = text;
  while (!rest.empty()) {
    std::wstring row = ClipToCells(rest, cells);
    if (row.empty()) row = rest.substr(0, 1);
    if (row.size() < rest.size()) {
      const std::size_t mark = row.find_last_of(L"-/");
      if (mark != std::wstring::npos && mark > 0) row.erase(mark + 1);
    }
    rest.erase(0, row.size());
    rows.push_back(std::move(row));
  }
  return rows;
}
