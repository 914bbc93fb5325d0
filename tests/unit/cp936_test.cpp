// The conversion of the monitor's texts to code page 936 for the export file.
#include <gtest/gtest.h>

#include <string>

#include "settings/cp936.h"

namespace {

std::string Convert(const std::string& utf8, std::size_t cap = 256) {
  std::uint8_t out[256];
  const std::size_t n = Utf8ToCp936(utf8.data(), utf8.size(), out, cap);
  return std::string(reinterpret_cast<const char*>(out), n);
}

TEST(Cp936Test, TheMonitorsTextsConvertAndAsciiStaysAsItIs) {
  EXPECT_EQ(Convert("℃"), "\xA1\xE6");
  EXPECT_EQ(Convert("开始于"), "\xBF\xAA\xCA\xBC\xD3\xDA");
  EXPECT_EQ(Convert("传感器%d:"), "\xB4\xAB\xB8\xD0\xC6\xF7%d:");
  const std::string ascii = "000-09:00:00-3C--2.5/80.0%RH-<28-08-20-03-6A>-30.0 \t~";
  EXPECT_EQ(Convert(ascii), ascii);
}

TEST(Cp936Test, AnythingElseBecomesAQuestionMarkAndNoCharacterIsCut) {
  EXPECT_EQ(Convert("a\xC3\xA9z"), "a?z");      // é: no form here
  EXPECT_EQ(Convert("\xF0\x9F\x98\x80"), "?");  // a character beyond 16 bits
  EXPECT_EQ(Convert("\xFF\xFE"), "??");         // bytes that start nothing
  EXPECT_EQ(Convert("\xE2\x84"), "??");         // cut short
  EXPECT_EQ(Convert("\xC0\xAF"), "??");         // overlong form of '/'
  EXPECT_EQ(Convert("\xED\xA0\x80"), "???");    // a surrogate
  EXPECT_EQ(Convert("ab℃", 3), "ab");
  EXPECT_EQ(Convert("ab℃", 4), "ab\xA1\xE6");
}

}  // namespace
