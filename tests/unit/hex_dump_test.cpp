// Bytes as hex, as the error log and the CSV files show them.
#include "display/hex_dump.h"

#include <gtest/gtest.h>

namespace {

TEST(HexDump, SeparatorsAfterEachOrBetweenCutAtAWholeByte) {
  const std::uint8_t bytes[] = {0xCC, 0x05, 0xAF};
  char out[16];
  EXPECT_EQ(FormatHexDump(bytes, 3, '-', HexSeparator::kAfterEach, out, sizeof out), 9u);
  EXPECT_STREQ(out, "CC-05-AF-");
  FormatHexDump(bytes, 3, ' ', HexSeparator::kBetween, out, sizeof out);
  EXPECT_STREQ(out, "CC 05 AF");
  FormatHexDump(bytes, 3, ' ', HexSeparator::kBetween, out, 8);
  EXPECT_STREQ(out, "CC 05");
  FormatHexDump(bytes, 0, '-', HexSeparator::kAfterEach, out, sizeof out);
  EXPECT_STREQ(out, "");
}

}  // namespace
