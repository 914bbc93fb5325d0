// The conversion of the monitor's texts to code page 936 for the export file.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/texts.h"
#include "settings/cp936.h"

namespace {

std::string Convert(const std::string& utf8, std::size_t cap = 256) {
  std::uint8_t out[256];
  const std::size_t n = Utf8ToCp936(utf8.data(), utf8.size(), out, cap);
  return std::string(reinterpret_cast<const char*>(out), n);
}

TEST(Cp936Test, EveryTextOfTheMonitorConvertsWithoutLoss) {
  const char* texts[] = {
      text::kWindowTitle,       text::kCaptionErrorBang,   text::kCaptionError,
      text::kConfigReadFailed,  text::kConfigSaveFailed,   text::kPortOpenFailed,
      text::kErrorLogCaption,   text::kGoodCountCaption,   text::kBadCountCaption,
      text::kErrorRatioCaption, text::kPanelCaptionFormat, text::kRunHeaderFormat,
      text::kDegreeSign,        text::kMenuOpen,           text::kMenuClose,
      text::kMenuSettings,      text::kMenuStart,          text::kMenuStop,
      text::kMenuExit,          text::kDialogCaption,      text::kDialogConfirm,
      text::kDialogExit,        text::kDialogPortGroup,    text::kDialogBaudGroup,
      text::kDialogSaveLog,     text::kDialogSensorCount,  text::kDialogSensorRange,
  };
  for (const char* t : texts) {
    SCOPED_TRACE(t);
    const std::string converted = Convert(t);
    EXPECT_EQ(converted.find('?'), std::string::npos);
    // Every Chinese character takes two bytes with the high bit set; ASCII stays as it is.
    std::size_t ascii = 0;
    for (const char* p = t; *p != '\0'; ++p) ascii += (static_cast<unsigned char>(*p) < 0x80);
    std::size_t high = 0;
    for (char c : converted) high += (static_cast<unsigned char>(c) >= 0x80);
    EXPECT_EQ(converted.size() - high, ascii);
    EXPECT_EQ(high % 2, 0u);
  }
}

TEST(Cp936Test, KnownCharactersAndAsciiUnchanged) {
  EXPECT_EQ(Convert("℃"), "\xA1\xE6");
  EXPECT_EQ(Convert("开始于"), "\xBF\xAA\xCA\xBC\xD3\xDA");
  EXPECT_EQ(Convert("传感器%d:"), "\xB4\xAB\xB8\xD0\xC6\xF7%d:");
  const std::string ascii = "000-09:00:00-3C--2.5/80.0%RH-<28-08-20-03-6A>-30.0 \t~";
  EXPECT_EQ(Convert(ascii), ascii);
}

TEST(Cp936Test, AnythingElseBecomesAQuestionMark) {
  EXPECT_EQ(Convert("a\xC3\xA9z"), "a?z");      // é: no form here
  EXPECT_EQ(Convert("\xF0\x9F\x98\x80"), "?");  // a character beyond 16 bits
  EXPECT_EQ(Convert("\xFF\xFE"), "??");         // bytes that start nothing
  EXPECT_EQ(Convert("\xE2\x84"), "??");         // cut short
  EXPECT_EQ(Convert("\xC0\xAF"), "??");         // overlong form of '/'
  EXPECT_EQ(Convert("\xED\xA0\x80"), "???");    // a surrogate
}

TEST(Cp936Test, OutputStopsBeforeACharacterThatWouldNotFitWhole) {
  EXPECT_EQ(Convert("ab℃", 3), "ab");
  EXPECT_EQ(Convert("ab℃", 4), "ab\xA1\xE6");
  EXPECT_EQ(Convert("abc", 0), "");
}

}  // namespace
