// Any command line: the parser accepts only what it can carry out, and the printed form of any
// text is valid UTF-8 without control characters from which the text's bytes come back whole.
#include <clocale>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "frontend/headless/commands.h"
#include "frontend/headless/escaping.h"

namespace {

// The bytes that a printed text stands for, with its escapes undone.
std::string Unescaped(const std::string& printed) {
  std::string bytes;
  for (std::size_t i = 0; i < printed.size(); ++i) {
    if (printed[i] != '\\') {
      bytes += printed[i];
    } else if (printed[++i] == 'x') {
      bytes += static_cast<char>(std::stoi(printed.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      bytes += printed[i];
    }
  }
  return bytes;
}

// Well-formed UTF-8 without C0 or C1 control characters, as the C library reads it.
bool Printable(const std::string& s) {
  static const bool utf8 = std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr;
  std::mbstate_t state{};
  for (std::size_t i = 0; utf8 && i < s.size();) {
    wchar_t c = 0;
    const std::size_t n = std::mbrtowc(&c, s.data() + i, s.size() - i, &state);
    if (n == 0 || n > 4 || c < 0x20 || (c >= 0x7F && c < 0xA0)) return false;
    i += n;
  }
  return utf8;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string escaped = Escaped(text);
  const std::string quoted = Quoted(text);
  if (!Printable(escaped) || Unescaped(escaped) != text || !Printable(quoted) ||
      Unescaped(quoted.substr(1, quoted.size() - 2)) != text) {
    std::abort();
  }
  Command command;
  std::string error;
  const bool parsed = ParseCommand(text, &command, &error);
  const DialogChanges& c = command.changes;
  if (parsed ? !error.empty() || (c.port && (*c.port < 1 || *c.port > 4)) ||
                   (c.baud_index && (*c.baud_index < 0 || *c.baud_index > 2)) ||
                   (c.save && *c.save != 0 && *c.save != 1) || command.wait_ms > 86400000
             : error.empty()) {
    std::abort();
  }
  return 0;
}
