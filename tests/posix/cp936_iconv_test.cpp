// The generated code page 936 table against the system's own converter.
#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

#include "settings/cp936.h"
#include "settings/cp936_table.h"

namespace {

// UTF-8 to code page 936 by iconv; empty when it cannot convert.
std::string Iconv(const std::string& utf8) {
  iconv_t cd = iconv_open("CP936", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return "";
  std::string in = utf8;
  char out[64];
  char* src = in.data();
  char* dst = out;
  std::size_t in_left = in.size();
  std::size_t out_left = sizeof out;
  const std::size_t r = iconv(cd, &src, &in_left, &dst, &out_left);
  iconv_close(cd);
  if (r == static_cast<std::size_t>(-1)) return "";
  return std::string(out, sizeof out - out_left);
}

std::string Utf8Of(std::uint32_t cp) {
  std::string s;
  if (cp < 0x800) {
    s += static_cast<char>(0xC0 | (cp >> 6));
  } else {
    s += static_cast<char>(0xE0 | (cp >> 12));
    s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  }
  s += static_cast<char>(0x80 | (cp & 0x3F));
  return s;
}

TEST(Cp936IconvTest, EveryTableEntryMatchesTheSystemConverter) {
  ASSERT_FALSE(Iconv("a").empty()) << "iconv knows no CP936";
  for (const Cp936Entry& e : kCp936Table) {
    const std::string utf8 = Utf8Of(e.code_point);
    const std::string expected = Iconv(utf8);
    std::uint8_t mine[8];
    const std::size_t n = Utf8ToCp936(utf8.data(), utf8.size(), mine, sizeof mine);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(mine), n), expected)
        << "U+" << std::hex << e.code_point;
  }
}

}  // namespace
