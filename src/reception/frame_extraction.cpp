#include "reception/frame_extraction.h"

#include <cstring>

#include "app/monitor_state.h"
#include "serial/link.h"

namespace {

constexpr std::uint8_t kStartMark = 0xCC;
constexpr std::uint8_t kEndMark = 0xDD;

// A full accumulation buffer can neither hold more frames than frame_table has entries nor
// drop more stray bytes than stray_bytes holds.
static_assert(kRxBufferSize / kFrameSize <= kFrameTableSize, "frame_table too small");
static_assert(kFrameTableSize <= kFrameStatusSize, "frame_status too small");
static_assert(kRxBufferSize <= kStrayBufferSize, "stray_bytes too small");

// Bytes 1 to 7 of a good frame add up to 0 modulo 256; the marks take no part.
bool CheckSumGood(const std::uint8_t* frame) {
  unsigned sum = 0;
  for (int i = 1; i <= 7; ++i) sum += frame[i];
  return (sum & 0xFF) == 0;
}

}  // namespace

int ExtractFrames() {
  int strays = 0;
  int frames = 0;
  int length = g_state.rx_length;
  if (length < 0) length = 0;
  if (length > kRxBufferSize) length = kRxBufferSize;

  // The front of the unconsumed bytes moves forward through the buffer; the tail is moved to
  // the front once at the end, which gives the same result as consuming from the front of the
  // buffer one frame or one stray byte at a time.
  const std::uint8_t* rx = g_state.rx_buffer;
  int front = 0;
  while (length - front >= kFrameSize) {
    const std::uint8_t* at = rx + front;
    if (at[0] == kStartMark && at[kFrameSize - 1] == kEndMark) {
      std::memcpy(g_state.frame_table[frames], at, kFrameSize);
      g_state.frame_status[frames] = CheckSumGood(at) ? kFrameGood : kFrameBadCheck;
      ++frames;
      front += kFrameSize;
    } else {
      g_state.stray_bytes[strays++] = at[0];
      ++front;
    }
  }
  if (front > 0) {
    std::memmove(g_state.rx_buffer, rx + front, static_cast<std::size_t>(length - front));
    g_state.rx_length = length - front;
  }
  g_state.frame_count = static_cast<std::uint8_t>(frames);
  FinishRead();
  return strays;
}
