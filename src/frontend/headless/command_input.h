// Cuts the bytes read from the command input into lines. Each byte is looked at once however the
// input arrives, and a line that runs longer than any command can be is not held: it is
// reported once, and the rest of it up to its newline is dropped as it comes.
#pragma once

#include <cstddef>
#include <string>

class CommandInput {
 public:
  static constexpr std::size_t kMaxLineBytes = 64 * 1024;

  enum class Next {
    kNothing,  // no whole line yet
    kLine,     // *line holds the next line, without its newline
    kTooLong,  // the line in progress passed kMaxLineBytes; *line holds its first bytes
  };

  void Append(const char* bytes, std::size_t count);
  Next Take(std::string* line);
  // At the end of input: a last line without its newline, if there is one.
  bool TakeRest(std::string* line);

 private:
  std::string pending_;
  std::size_t start_ = 0;    // where the next line begins in pending_
  std::size_t scanned_ = 0;  // no newline between start_ and this
  bool skipping_ = false;    // dropping the rest of a line that was too long
};
