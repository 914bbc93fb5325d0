#include "display/text_line.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

void TextLine::Append(const char* piece) {
  const std::size_t room = kLineCapacity - 1 - length_;
  std::size_t n = std::strlen(piece);
  if (n > room) n = room;
  std::memcpy(text_ + length_, piece, n);
  length_ += n;
  text_[length_] = '\0';
}

void TextLine::AppendFormat(const char* format, ...) {
  const std::size_t room = kLineCapacity - length_;
  std::va_list args;
  va_start(args, format);
  const int written = std::vsnprintf(text_ + length_, room, format, args);
  va_end(args);
  if (written < 0) {
    text_[length_] = '\0';
    return;
  }
  const std::size_t n = static_cast<std::size_t>(written);
  length_ += n < room ? n : room - 1;
}
