// Any command line: the parser answers with a command or a reason, and the printed form of any
// text is valid UTF-8 without control characters from which the text's bytes come back whole.
#include <clocale>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "frontend/headless/commands.h"
#include "frontend/headless/escaping.h"

namespace {

// The bytes that a printed text stands for, its escapes undone.
std::string Unescaped(const std::string& printed) {
  std::string bytes;
  for (std::size_t i = 0; i < printed.size(); ++i) {
    const bool hex = printed[i] == '\\' && printed[++i] == 'x';
    bytes += hex ? static_cast<char>(std::stoi(printed.substr(i + 1, 2), nullptr, 16)) : printed[i];
    i += hex ? 2 : 0;
  }
  return bytes;
}

// Well-formed UTF-8 without C0 or C1 control characters, as the C library reads it.
bool Printable(const std::string& s) {
  static const bool utf8 = std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr;
  std::mbstate_t state{};
  wchar_t c = 0;
  for (std::size_t i = 0, n = 0; utf8 && i < s.size(); i += n) {
    n = std::mbrtowc(&c, s.data() + i, s.size() - i, &state);
    if (n == 0 || n > 4 || c < 0x20 || (c >= 0x7F && c < 0xA0)) return false;
  }
  return utf8;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string escaped = Escaped(text);
  const std::string quoted = Quoted(text);
  Command command;
  std::string error;
  if (!Printable(escaped) || Unescaped(escaped) != text || !Printable(quoted) ||
      Unescaped(quoted.substr(1, quoted.size() - 2)) != text ||
      ParseCommand(text, &command, &error) != error.empty()) {
    std::abort();
  }
  return 0;
}
