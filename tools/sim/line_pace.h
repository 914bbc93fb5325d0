// The pace of a serial line: a byte of 8N1 is ten bits (start, eight data, stop), so a line of
// BAUD bits a second carries BAUD / 10 bytes a second. A byte's time is rounded up to the whole
// nanosecond, so that a paced sender is never ahead of the line it plays.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

class LinePace {
 public:
  explicit LinePace(std::uint32_t baud)
      : byte_ns_((10 * kNanosecondsPerSecond + baud - 1) / static_cast<std::int64_t>(baud)) {}

  std::int64_t byte_ns() const { return byte_ns_; }
  // Of count bytes whose first began to go out at some moment, how many have begun elapsed_ns
  // after it (none before it).
  std::size_t BegunBy(std::int64_t elapsed_ns, std::size_t count) const {
    if (elapsed_ns < 0) return 0;
    return std::min(count, static_cast<std::size_t>(elapsed_ns / byte_ns_) + 1);
  }
  // When the line is free again after count bytes whose first began at start_ns.
  std::int64_t FreeAt(std::int64_t start_ns, std::size_t count) const {
    return start_ns + static_cast<std::int64_t>(count) * byte_ns_;
  }

 private:
  static constexpr std::int64_t kNanosecondsPerSecond = 1000000000;
  std::int64_t byte_ns_;
};
