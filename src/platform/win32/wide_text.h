// Conversions between the core's UTF-8 texts and the UTF-16 of the wide-character functions.
// Fixed buffers: the poll path shows lines through these and must not allocate.
#pragma once

#include <cstddef>
#include <string>

class WideText {
 public:
  // Longest text held, in UTF-16 units; every text of the monitor is far shorter.
  static constexpr int kCapacity = 1024;

  // Converts a zero-terminated UTF-8 text (nullptr counts as empty). A text that is not valid
  // UTF-8 or does not fit leaves an empty text and valid() false.
  explicit WideText(const char* utf8);

  const wchar_t* get() const { return text_; }
  bool valid() const { return valid_; }

 private:
  wchar_t text_[kCapacity];
  bool valid_ = false;
};

// Converts a UTF-16 text of length units (not terminated necessarily) to UTF-8 into buf: at most
// cap - 1 bytes, cut only between whole characters, always terminated when cap > 0. Returns the
// full UTF-8 length of the text, or -1 when it cannot be converted.
int Utf8FromWide(const wchar_t* text, int length, char* buf, std::size_t cap);

// The same for texts of any length, off the poll path: "" for a text that cannot be converted.
std::wstring WideString(const std::string& utf8);
std::string Utf8String(const std::wstring& wide);
