// Building the text of a list box line piece by piece in a fixed buffer, so that the poll path
// never allocates.
#pragma once

#include <cstddef>

#if defined(__GNUC__)
#define WSMON_PRINTF_LIKE(format_index, first_arg) \
  __attribute__((format(printf, format_index, first_arg)))
#else
#define WSMON_PRINTF_LIKE(format_index, first_arg)
#endif

// Room for one line: the longest line the monitor builds is well under 100 bytes.
constexpr std::size_t kLineCapacity = 300;

// A line under construction. It lives on the caller's stack; a piece that does not fit is cut
// short and the text stays terminated.
class TextLine {
 public:
  TextLine() { text_[0] = '\0'; }

  const char* c_str() const { return text_; }
  std::size_t size() const { return length_; }

  void Append(const char* piece);
  // printf conversions of integers and strings only.
  void AppendFormat(const char* format, ...) WSMON_PRINTF_LIKE(2, 3);

 private:
  char text_[kLineCapacity];
  std::size_t length_ = 0;
};
