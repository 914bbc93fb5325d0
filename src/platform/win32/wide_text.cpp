#include "platform/win32/wide_text.h"

#include "platform/win32/windows_api.h"

WideText::WideText(const char* utf8) {
  text_[0] = L'\0';
  if (utf8 == nullptr || utf8[0] == '\0') {
    valid_ = true;
    return;
  }
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, text_, kCapacity);
  valid_ = n > 0;
  if (!valid_) text_[0] = L'\0';
}

int Utf8FromWide(const wchar_t* text, int length, char* buf, std::size_t cap) {
  if (cap > 0) buf[0] = '\0';
  if (length == 0) return 0;
  const int full = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (full <= 0) return -1;
  if (cap == 0) return full;

  // Converts character by character once the whole text does not fit, so that a cut never
  // splits a multi-byte sequence.
  if (static_cast<std::size_t>(full) < cap) {
    WideCharToMultiByte(CP_UTF8, 0, text, length, buf, full, nullptr, nullptr);
    buf[full] = '\0';
    return full;
  }
  std::size_t used = 0;
  int i = 0;
  while (i < length) {
    const bool pair = text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < length;
    const int units = pair ? 2 : 1;
    char piece[8];
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, text + i, units, piece, sizeof piece, nullptr, nullptr);
    if (bytes <= 0 || used + static_cast<std::size_t>(bytes) > cap - 1) break;
    for (int b = 0; b < bytes; ++b) buf[used++] = piece[b];
    i += units;
  }
  buf[used] = '\0';
  return full;
}

std::wstring WideString(const std::string& utf8) {
  const int length = static_cast<int>(utf8.size());
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, &wide[0], n);
  return wide;
}

std::string Utf8String(const std::wstring& wide) {
  const int length = static_cast<int>(wide.size());
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string utf8(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, &utf8[0], n, nullptr, nullptr);
  return utf8;
}
