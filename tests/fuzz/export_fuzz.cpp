// Any list box line, converted for the export into any room: the bytes stay within that room and
// end with CR LF, and a line of plain ASCII that fits comes out unchanged.
#include <cstdlib>
#include <cstring>

#include "settings/export_log.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t cap = 2 + data[0];  // the first byte gives the room
  const char* line = reinterpret_cast<const char*>(data + 1);
  const std::size_t len = size - 1;
  bool ascii = true;
  for (std::size_t i = 0; i < len; ++i) ascii = ascii && data[1 + i] != 0 && data[1 + i] < 0x80;
  std::uint8_t out[2 + 255];
  const std::size_t n = EncodeExportLine(line, len, out, cap);
  if (n < 2 || n > cap || out[n - 2] != '\r' || out[n - 1] != '\n' ||
      (ascii && len + 2 <= cap && (n != len + 2 || std::memcmp(out, line, len) != 0))) {
    std::abort();
  }
  return 0;
}
